#include "ui/frmmain.h"

#include "common/product.h"
#include "common/text.h"
#include "controls/paintedbutton.h"
#include "engine/harvestengine.h"
#include "ui/artwork.h"
#include "ui/connectionrows.h"
#include "ui/designunits.h"
#include "ui/folderpicture.h"
#include "ui/runannouncer.h"
#include "ui/runtally.h"
#include "ui/savedimagestrip.h"
#include "ui/shellhelpers.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QTimer>

namespace mosscatch {

namespace {

constexpr int WindowWidth = 12495;
constexpr quint32 WindowBack = 0x00E0E0E0;
constexpr quint32 PanelBack = 0x00FFC0C0;
constexpr quint32 ListBack = 0x00FDDBE7;
constexpr quint32 ShapeBorder = 0x00805050;

const char *const ProductWebAddress = "www.mosscatch.example.com";

void fillBackground(QWidget *widget, QPalette::ColorRole role, quint32 stored)
{
    QPalette palette = widget->palette();
    palette.setColor(role, design::colour(stored));
    widget->setPalette(palette);
    if (role == QPalette::Window)
        widget->setAutoFillBackground(true);
}

// A drawn rectangle of the window; radius above 0 rounds its corners.
QFrame *makeShape(const char *name, const QRect &geometry, quint32 fill, QWidget *parent,
                  int radius = 0)
{
    auto *shape = new QFrame(parent);
    shape->setObjectName(QLatin1String(name));
    shape->setGeometry(geometry);
    shape->setStyleSheet(QStringLiteral("QFrame#%1 { background-color: %2; border: 1px solid %3;"
                                        " border-radius: %4px; }")
                                 .arg(shape->objectName(), design::colour(fill).name(),
                                      design::colour(ShapeBorder).name())
                                 .arg(radius));
    return shape;
}

QWidget *makePicture(const char *name, const QRect &geometry, quint32 back, QWidget *parent)
{
    auto *picture = new QWidget(parent);
    picture->setObjectName(QLatin1String(name));
    picture->setGeometry(geometry);
    fillBackground(picture, QPalette::Window, back);
    return picture;
}

QLabel *makeLabel(const char *name, const QString &caption, const QRect &geometry, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    return label;
}

QCheckBox *makeCheckBox(const char *name, const QString &caption, const QRect &geometry,
                        bool ticked, QWidget *parent)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(geometry);
    box->setChecked(ticked);
    return box;
}

QComboBox *makeChoiceList(const char *name, const QRect &geometry, QWidget *parent)
{
    auto *list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    list->setGeometry(geometry);
    list->setEditable(false);
    return list;
}

QLineEdit *makeBoxedText(const char *name, const char *shapeName, const QRect &shapeGeometry,
                         int textWidth, QWidget *parent)
{
    QFrame *box = makeShape(shapeName, shapeGeometry, 0x00FFFFFF, parent);
    auto *text = new QLineEdit(box);
    text->setObjectName(QLatin1String(name));
    text->setFrame(false);
    text->setGeometry(design::px(60), 1, design::px(textWidth), box->height() - 2);
    return text;
}

}

FrmMain::FrmMain(HarvestEngine &engine, QWidget *parent) : QWidget(parent), m_engine(engine)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Mosscatch ") + QLatin1String(ProductVersion));
    setFont(design::font(9.75));
    fillBackground(this, QPalette::Window, WindowBack);
    setFixedWidth(design::px(WindowWidth));

    buildLeftColumn();
    buildKeywordPanel();
    buildOptionsPanel();
    buildStatusStrip();
    buildConnectionPanel();
    buildQueue();
    setTabOrder();
    bindEngine();
    formLoad();

    // The window sees every key before the control that has the focus.
    qApp->installEventFilter(this);
}

ProxyRoute::Choice FrmMain::proxies(const QProcessEnvironment &environment)
{
    // No stored value is a lone NUL, so this tells a missing key from an empty one.
    const QString missing(QChar(0));
    const QString stored = SettingsStore().readSettingValue(QStringLiteral("Proxy"), missing);
    return ProxyRoute::choose(stored == missing ? std::nullopt : std::optional(stored),
                              environment);
}

void FrmMain::showProxies(const ProxyRoute &proxies)
{
    if (!proxies.isDirect())
        setWindowTitle(windowTitle() + QStringLiteral(" via proxy ") + proxies.description());
}

FrmMain::~FrmMain()
{
    qApp->removeEventFilter(this);
}

void FrmMain::buildLeftColumn()
{
    m_picture4 = makeLabel("Picture4", {}, QRect(design::px(120), design::px(120), 161, 86), this);
    m_picture4->setPixmap(artwork::logo());

    m_label9 = makeLabel("Label9", QString::fromLatin1(ProductWebAddress),
                         design::rect(0, 1470, 2640, 255), this);
    m_label9->setAlignment(Qt::AlignCenter);
    QFont underlined = design::font(8.25);
    underlined.setUnderline(true);
    m_label9->setFont(underlined);
    m_label9->setCursor(Qt::PointingHandCursor);

    const struct
    {
        const char *caption;
        const char *captionName;
        const char *valueName;
        QLabel *FrmMain::*value;
    } pairs[] = {
            {"Start T", "Label12", "lTime", &FrmMain::m_lTime},
            {"Start D", "Label11", "lDate", &FrmMain::m_lDate},
            {"Speed", "Label7", "lSpeed", &FrmMain::m_lSpeed},
            {"Queue", "Label5", "lQueue", &FrmMain::m_lQueue},
            {"Total In", "Label6", "lBWUsed", &FrmMain::m_lBWUsed},
    };
    int top = 1815;
    for (const auto &pair : pairs) {
        QLabel *caption = makeLabel(pair.captionName, QString::fromLatin1(pair.caption),
                                    design::rect(120, top, 1020, 240), this);
        caption->setFont(design::font(9.75, true));
        this->*pair.value = makeLabel(pair.valueName, QStringLiteral("0"),
                                      design::rect(1140, top, 1440, 240), this);
        top += 240;
    }
}

void FrmMain::buildKeywordPanel()
{
    makeShape("Shape7", design::rect(2745, 225, 3045, 2565), PanelBack, this);
    QWidget *panel = makePicture("Picture5", design::rect(2760, 240, 3015, 2535), PanelBack, this);

    QLabel *heading = makeLabel("Label1", QStringLiteral("Search Keywords"),
                                design::rect(120, 60, 2775, 255), panel);
    heading->setFont(design::font(9.75, true));

    m_text1 = makeBoxedText("Text1", "Shape6", design::rect(120, 375, 2055, 360), 1935, panel);
    m_text1->setText(QStringLiteral("zelda nintendo"));

    m_add = PaintedButton::fromDesign(QStringLiteral("paintedButton2"), panel);
    m_add->setGeometry(design::rect(2265, 360, 630, 390));
    m_add->setDefault(true);

    QLabel *hint = makeLabel(
            "Label8", QStringLiteral("Images are downloaded for each keyword, one at a time."),
            design::rect(120, 810, 2775, 450), panel);
    hint->setFont(design::font(8.25));
    hint->setWordWrap(true);

    m_list1 = new QListView(panel);
    m_list1->setObjectName(QStringLiteral("List1"));
    m_list1->setGeometry(design::rect(120, 1320, 2775, 1095));
    m_list1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fillBackground(m_list1, QPalette::Base, ListBack);
}

void FrmMain::buildOptionsPanel()
{
    makeShape("Shape3", design::rect(6105, 225, 6165, 2565), PanelBack, this);
    QWidget *panel = makePicture("Picture1", design::rect(6120, 240, 6135, 2535), PanelBack, this);

    makeLabel("Label2", QStringLiteral("Speed Multiple"), design::rect(120, 105, 1560, 255), panel);
    m_lConn = makeChoiceList("lConn", design::rect(1680, 60, 900, 345), panel);
    makeLabel("Label4", QStringLiteral("Max Images"), design::rect(120, 525, 1560, 255), panel);
    m_lPages = makeChoiceList("lPages", design::rect(1680, 480, 900, 345), panel);

    QFrame *sizes = makeShape("Shape2", design::rect(120, 945, 2460, 1080), ListBack, panel);
    m_cThumbnails = makeCheckBox("cThumbnails", QStringLiteral("Thumbnails"),
                                 design::rect(105, 60, 2280, 300), true, sizes);
    m_cStandard = makeCheckBox("cStandard", QStringLiteral("Standard Size"),
                               design::rect(105, 390, 2280, 300), true, sizes);
    m_cLargest = makeCheckBox("cLargest", QStringLiteral("Largest Size"),
                              design::rect(105, 720, 2280, 300), false, sizes);

    makeLabel("Label3", QStringLiteral("Save Images In"), design::rect(2760, 105, 3255, 255),
              panel);
    m_tDir = makeBoxedText("tDir", "Shape5", design::rect(2760, 420, 3255, 405), 2025, panel);
    m_picture6 = new FolderPicture(m_tDir->parentWidget());
    m_picture6->setGeometry(m_tDir->parentWidget()->width() - 75, 1, 73, 25);
    connect(m_picture6, &FolderPicture::clicked, this, [this] { openInExplorer(m_tDir->text()); });

    // A check box caption does not wrap, so the several-line caption is a label beside it.
    m_lComm = makeCheckBox("lComm", {}, design::rect(2760, 945, 300, 300), false, panel);
    m_lCommCaption = makeLabel(
            "lCommCaption", QStringLiteral("Limit results to those that can be used commercially."),
            design::rect(3060, 960, 2955, 600), panel);
    m_lCommCaption->setWordWrap(true);
    m_lCommCaption->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_lComm->setAccessibleName(m_lCommCaption->text());

    m_start = PaintedButton::fromDesign(QStringLiteral("paintedButton1"), panel);
    m_start->setGeometry(design::rect(3480, 1725, 2535, 630));
}

void FrmMain::buildStatusStrip()
{
    makeShape("Shape1", design::rect(2640, 3000, 9735, 375), 0x00FFFFFF, this, 8);
    m_lKW = makeLabel("lKW", QStringLiteral("lKW"), design::rect(2820, 3060, 8160, 255), this);
    m_lKW->setAccessibleName(QStringLiteral("Status"));
    m_lKW->setFont(design::font(9.75, true));
    m_cStop = makeCheckBox("cStop", QStringLiteral("Pause"), design::rect(11100, 3045, 1140, 285),
                           false, this);
}

void FrmMain::buildConnectionPanel()
{
    m_shape8 = makeShape("Shape8", design::rect(120, 3360, 12255, 2775), PanelBack, this);
    m_picture2 = makePicture("Picture2", design::rect(240, 3480, 12015, 2535), 0x00FFFFFF, this);
    m_shape4 = makeShape("Shape4", design::rect(120, 120, 2000, 1000), 0x00FFFFFF, m_picture2);
    m_rows = new ConnectionRows(m_picture2);
    m_iStart = makeLabel("iStart", {}, QRect(0, 0, 481, 173), m_picture2);
    m_iStart->setPixmap(artwork::banner());
    m_strip = new SavedImageStrip(m_picture2);
    m_strip->hide();
}

void FrmMain::buildQueue()
{
    m_queue = new QListView(this);
    m_queue->setObjectName(QStringLiteral("Queue"));
    m_queue->setGeometry(design::rect(120, 6240, 7095, 2370));
    m_queue->setFont(design::font(8.25));
    m_queue->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_queue->hide();
}

void FrmMain::setTabOrder()
{
    const QList<QWidget *> order
            = {m_text1,    m_add,  m_list1,    m_lConn, m_lPages, m_cThumbnails, m_cStandard,
               m_cLargest, m_tDir, m_picture6, m_lComm, m_start,  m_cStop,       m_queue};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
}

void FrmMain::bindEngine()
{
    m_list1->setModel(m_engine.keywords());
    m_queue->setModel(m_engine.queue());

    HarvestOptions &options = m_engine.options();
    connect(m_cThumbnails, &QCheckBox::toggled, &options, &HarvestOptions::setThumbnails);
    connect(m_cStandard, &QCheckBox::toggled, &options, &HarvestOptions::setStandard);
    connect(m_cLargest, &QCheckBox::toggled, &options, &HarvestOptions::setLargest);
    connect(m_lComm, &QCheckBox::toggled, &options, &HarvestOptions::setCommercial);
    connect(m_cStop, &QCheckBox::toggled, &options, &HarvestOptions::setPaused);
    connect(m_lPages, &QComboBox::currentTextChanged, this, &FrmMain::lPagesChanged);
    connect(m_lConn, &QComboBox::currentTextChanged, this, &FrmMain::lConnChanged);
    connect(&options, &HarvestOptions::changed, this, &FrmMain::showOptions);
    connect(&options, &HarvestOptions::saveFolderChanged, this, &FrmMain::showSaveFolder);

    connect(m_text1, &QLineEdit::textChanged, this, &FrmMain::text1Changed);
    connect(m_tDir, &QLineEdit::textChanged, this, &FrmMain::tDirChanged);
    connect(m_add, &PaintedButton::click, this, &FrmMain::addClicked);
    connect(m_start, &PaintedButton::click, this, &FrmMain::startClicked);

    m_tally = new RunTally(m_engine, this);
    m_announcer = new RunAnnouncer(m_engine, this);
    connect(&m_engine, &HarvestEngine::keywordStarted, this, &FrmMain::keywordStarted);
    connect(&m_engine, &HarvestEngine::runOver, this, &FrmMain::showRunOver);
    connect(&m_engine, &HarvestEngine::writingStopped, this, &FrmMain::showWriteStop);
    connect(&m_engine, &HarvestEngine::hostDown, this, &FrmMain::showHostDown);
    connect(m_engine.pool(), &ConnectionPool::socksLoaded, m_rows, &ConnectionRows::rebuild);
    connect(m_engine.pool(), &ConnectionPool::socksLoaded, this, &FrmMain::placeSavedImageStrip);
    connect(&m_engine, &HarvestEngine::imageCommitted, m_strip, &SavedImageStrip::addImage);
    connect(m_engine.statistics(), &HarvestStatistics::updated, this, &FrmMain::showStatistics);
    connect(m_engine.statistics(), &HarvestStatistics::speedUpdated, this, &FrmMain::showSpeed);
}

void FrmMain::formLoad()
{
    m_lKW->clear();
    showDateAndTime();
    startupLayout();
    fillLists();
    readSettings();
    showOptions();
    m_text1->setFocus(Qt::TabFocusReason);
}

void FrmMain::startupLayout()
{
    resize(width(), m_shape8->y() + m_shape8->height() + design::px(120));
    m_compactHeight = height();
    m_rows->moveTemplateOutOfSight();
    const QSize panel = m_iStart->parentWidget()->size();
    m_iStart->move(panel.width() / 2 - m_iStart->width() / 2,
                   panel.height() / 2 - m_iStart->height() / 2);
    m_shape4->setGeometry(0, 0, panel.width(), panel.height());
}

void FrmMain::fillLists()
{
    {
        // Filling the list must not store its first choice over the remembered one.
        const QSignalBlocker blocker(m_lConn);
        for (int multiple = 1; multiple <= 4; ++multiple)
            m_lConn->addItem(QString::number(multiple));
        m_lConn->setCurrentIndex(0);
    }
    const QSignalBlocker blocker(m_lPages);
    m_lPages->addItems({"60", "120", "300", "600", "1200", "Max"});
    m_lPages->setCurrentIndex(0);
}

void FrmMain::readSettings()
{
    // Filling the boxes counts as an edit, so both values are stored straight back.
    {
        const QSignalBlocker blocker(m_tDir);
        m_tDir->setText(m_settings.readSettingValue(QStringLiteral("tdir"),
                                                    HarvestSettings::defaultSaveFolder()));
    }
    tDirChanged(m_tDir->text());
    {
        const QSignalBlocker blocker(m_text1);
        m_text1->setText(m_settings.readSettingValue(QStringLiteral("text1")));
    }
    text1Changed(m_text1->text());
    // A stored value that is not one of the choices leaves the default.
    m_lConn->setCurrentText(m_settings.readSettingValue(QStringLiteral("SpeedMultiple")));
    m_lPages->setCurrentText(m_settings.readSettingValue(QStringLiteral("MaxImages")));
    const QString keepAlive
            = m_settings.readSettingValue(QStringLiteral("KeepAlive")).trimmed().toLower();
    m_engine.options().setKeepAlive(keepAlive != QLatin1String("false")
                                    && keepAlive != QLatin1String("0"));
}

bool FrmMain::eventFilter(QObject *watched, QEvent *event)
{
    auto *target = qobject_cast<QWidget *>(watched);
    if (!target || target->window() != this)
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
        return handleKeyPress(target, static_cast<QKeyEvent *>(event)->key());
    case QEvent::FocusIn:
        if (target == m_text1)
            QTimer::singleShot(0, m_text1, [this] { selectAllText(m_text1); });
        return false;
    case QEvent::MouseButtonRelease:
        if (target == m_label9)
            openInExplorer(QString::fromLatin1(ProductWebAddress));
        else if (target == m_lCommCaption)
            m_lComm->toggle();
        return false;
    default:
        return false;
    }
}

bool FrmMain::handleKeyPress(QWidget *target, int key)
{
    if (key == Qt::Key_F7) {
        toggleQueueView();
        return true;
    }
    if (key == Qt::Key_Delete && target == m_list1) {
        deleteSelectedKeyword();
        return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        m_add->accessKeyPress();
        return true;
    }
    return false;
}

// Below the connection rows, never over them, in the panel's empty width.
void FrmMain::placeSavedImageStrip()
{
    const int margin = design::px(120);
    const int top = m_rows->bottom() + margin;
    m_strip->setGeometry(margin, top, m_picture2->width() - 2 * margin,
                         m_picture2->height() - top - margin);
}

void FrmMain::toggleQueueView()
{
    if (height() != m_compactHeight) {
        resize(width(), m_compactHeight);
        m_queue->hide();
    } else {
        resize(width(), m_queue->y() + m_queue->height() + design::px(480));
        m_queue->show();
    }
}

void FrmMain::deleteSelectedKeyword()
{
    const QModelIndexList selected = m_list1->selectionModel()->selectedIndexes();
    if (!selected.isEmpty())
        m_engine.keywords()->removeRow(selected.first().row());
}

void FrmMain::addClicked()
{
    m_engine.addKeyword(m_text1->text());
    m_text1->clear();
    m_text1->setFocus(Qt::OtherFocusReason);
}

void FrmMain::startClicked()
{
    if (m_engine.keywords()->rowCount() == 0) {
        QMessageBox::information(
                this, QStringLiteral("No keywords!"),
                QStringLiteral("Enter a search keyword and press enter to add it to the list!"));
        m_text1->setFocus(Qt::OtherFocusReason);
        return;
    }
    m_engine.start();
}

void FrmMain::text1Changed(const QString &text)
{
    m_settings.saveSettingValue(QStringLiteral("text1"), text);
}

void FrmMain::tDirChanged(const QString &text)
{
    m_tDir->setToolTip(text);
    m_settings.saveSettingValue(QStringLiteral("tdir"), text);
    m_engine.options().setSaveFolder(text);
}

void FrmMain::lConnChanged(const QString &text)
{
    m_settings.saveSettingValue(QStringLiteral("SpeedMultiple"), text);
    m_engine.options().setSpeedMultiple(text.toInt());
}

void FrmMain::lPagesChanged(const QString &text)
{
    m_settings.saveSettingValue(QStringLiteral("MaxImages"), text);
    m_engine.options().setMaxImages(text);
}

void FrmMain::keywordStarted(const QString &keyword)
{
    m_iStart->hide();
    m_strip->show();
    m_showingWriteStop = false;
    showStatus(QStringLiteral("Downloading for: ") + escapedControls(keyword));
    m_lKW->setToolTip({});
    showDateAndTime();
}

void FrmMain::showRunOver()
{
    m_showingWriteStop = false;
    showStatus(m_tally->doneText());
    m_lKW->setToolTip(m_lKW->text());
    m_announcer->announceRunOver(m_lKW->text());
}

void FrmMain::showHostDown(const QByteArray &host, const QString &reason)
{
    if (m_showingWriteStop)
        return;
    const std::optional<HostsDown::Entry> entry = m_engine.pool()->cache().hostsDown().down(host);
    const QString down = entry && entry->untrusted
                                 ? reason
                                 : QStringLiteral("%1 is not answering (%2)")
                                           .arg(QString::fromLatin1(host), reason);
    showStatus(m_lKW->text() + QStringLiteral("; ") + down);
    m_lKW->setToolTip(m_lKW->text());
}

void FrmMain::showWriteStop(const WriteError &error)
{
    m_showingWriteStop = true;
    showStatus(QStringLiteral("Paused: cannot write into %1: %2; untick Pause once %3")
                       .arg(error.folder, error.reason(),
                            error.isLackOfRoom() ? QStringLiteral("there is room")
                                                 : QStringLiteral("it can be written")));
    m_lKW->setToolTip(m_lKW->text());
}

// The status line's text is its accessible description, under the name "Status".
void FrmMain::showStatus(const QString &text)
{
    m_lKW->setText(text);
    m_lKW->setAccessibleDescription(text);
}

void FrmMain::showDateAndTime()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale = QLocale::system();
    m_lDate->setText(locale.toString(now.date(), QLocale::ShortFormat));
    m_lTime->setText(locale.toString(now.time(), QLocale::ShortFormat));
}

void FrmMain::showStatistics()
{
    const HarvestStatistics *statistics = m_engine.statistics();
    m_rows->showFigures(statistics->rows());
    m_lQueue->setText(statistics->queueText());
    m_lBWUsed->setText(statistics->totalText());
}

void FrmMain::showSpeed()
{
    m_lSpeed->setText(m_engine.statistics()->speedText());
}

void FrmMain::showOptions()
{
    const HarvestOptions &options = m_engine.options();
    const QSignalBlocker thumbnails(m_cThumbnails);
    const QSignalBlocker standard(m_cStandard);
    const QSignalBlocker largest(m_cLargest);
    const QSignalBlocker commercial(m_lComm);
    const QSignalBlocker paused(m_cStop);
    const QSignalBlocker pages(m_lPages);
    const QSignalBlocker connections(m_lConn);
    m_cThumbnails->setChecked(options.thumbnails());
    m_cStandard->setChecked(options.standard());
    m_cLargest->setChecked(options.largest());
    m_lComm->setChecked(options.commercial());
    m_cStop->setChecked(options.paused());
    m_lPages->setCurrentText(options.maxImages());
    m_lConn->setCurrentText(QString::number(options.speedMultiple()));
    if (m_showingWriteStop && !options.paused()) {
        m_showingWriteStop = false;
        m_lKW->setToolTip({});
        showStatus(QStringLiteral("Downloading for: ")
                   + escapedControls(m_engine.driver()->currentKeyword()));
    }
}

void FrmMain::showSaveFolder(const QString &folder)
{
    if (m_tDir->text() == folder)
        return;
    // A long path shows its end, where the folders differ; its tooltip holds all of it.
    m_tDir->setText(folder);
}

}
