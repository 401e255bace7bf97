#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace mosscatch {

// The folder picture beside the save-folder box: a button that opens the
// save folder, by mouse or by Space once Tab has reached it.
class FolderPicture : public QAbstractButton
{
    Q_OBJECT

public:
    explicit FolderPicture(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const QPixmap m_picture;
};

}
