#pragma once

#include "common/settingsstore.h"
#include "engine/writeerror.h"
#include "net/proxyroute.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListView;

namespace mosscatch {

class ConnectionRows;
class FolderPicture;
class HarvestEngine;
class PaintedButton;
class RunAnnouncer;
class RunTally;
class SavedImageStrip;

// The program's one window: keyword entry, options, save folder, the live
// figures of the harvest and, on F7, the address queue. A view of the engine
// it is given.
class FrmMain : public QWidget
{
    Q_OBJECT

public:
    explicit FrmMain(HarvestEngine &engine, QWidget *parent = nullptr);
    ~FrmMain() override;

    // The proxies the window harvests through, read as the command line reads
    // them: its Proxy setting (a URL, empty for none), else the environment's.
    static ProxyRoute::Choice proxies(const QProcessEnvironment &environment);
    // Names them in the caption, password hidden.
    void showProxies(const ProxyRoute &proxies);

    int compactHeight() const { return m_compactHeight; }
    ConnectionRows *connectionRows() const { return m_rows; }
    SavedImageStrip *savedImageStrip() const { return m_strip; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void addClicked();
    void startClicked();
    void text1Changed(const QString &text);
    void tDirChanged(const QString &text);
    void lConnChanged(const QString &text);
    void lPagesChanged(const QString &text);
    void keywordStarted(const QString &keyword);
    void showStatistics();
    void showSpeed();
    void showOptions();
    void showSaveFolder(const QString &folder);
    void showRunOver();
    void showHostDown(const QByteArray &host, const QString &reason);
    void showWriteStop(const mosscatch::WriteError &error);

private:
    void buildLeftColumn();
    void buildKeywordPanel();
    void buildOptionsPanel();
    void buildStatusStrip();
    void buildConnectionPanel();
    void buildQueue();
    void setTabOrder();
    void bindEngine();
    void formLoad();
    void startupLayout();
    void fillLists();
    void readSettings();

    bool handleKeyPress(QWidget *target, int key);
    void placeSavedImageStrip();
    void toggleQueueView();
    void deleteSelectedKeyword();
    void showDateAndTime();
    void showStatus(const QString &text);

    HarvestEngine &m_engine;
    SettingsStore m_settings;
    int m_compactHeight = 0;

    QLabel *m_picture4 = nullptr;
    QLabel *m_label9 = nullptr;
    QLabel *m_lTime = nullptr;
    QLabel *m_lDate = nullptr;
    QLabel *m_lSpeed = nullptr;
    QLabel *m_lQueue = nullptr;
    QLabel *m_lBWUsed = nullptr;

    QLineEdit *m_text1 = nullptr;
    PaintedButton *m_add = nullptr;
    QListView *m_list1 = nullptr;

    QComboBox *m_lConn = nullptr;
    QComboBox *m_lPages = nullptr;
    QCheckBox *m_cThumbnails = nullptr;
    QCheckBox *m_cStandard = nullptr;
    QCheckBox *m_cLargest = nullptr;
    QCheckBox *m_lComm = nullptr;
    QLabel *m_lCommCaption = nullptr;
    QLineEdit *m_tDir = nullptr;
    FolderPicture *m_picture6 = nullptr;
    PaintedButton *m_start = nullptr;

    RunTally *m_tally = nullptr;
    RunAnnouncer *m_announcer = nullptr;
    // The line says why writing stopped, until Pause is unticked.
    bool m_showingWriteStop = false;

    QLabel *m_lKW = nullptr;
    QCheckBox *m_cStop = nullptr;

    QWidget *m_picture2 = nullptr;
    QFrame *m_shape4 = nullptr;
    QFrame *m_shape8 = nullptr;
    QLabel *m_iStart = nullptr;
    ConnectionRows *m_rows = nullptr;
    SavedImageStrip *m_strip = nullptr;

    QListView *m_queue = nullptr;
};

}
