#include "ui/connectionrows.h"

#include "ui/designunits.h"

#include <QLabel>

namespace mosscatch {

namespace {

struct ColumnDesign
{
    const char *name;
    int left;
    int width;
    int height;
    const char *caption;
    QRgb background; // 0 for a transparent label
};

constexpr std::array<ColumnDesign, ConnectionRows::ColumnCount> Columns = {{
        {"lSock", 0, 495, 210, "0", qRgb(255, 192, 128)},
        {"lStatus", 600, 1575, 225, "status", qRgb(192, 192, 255)},
        {"lURL", 2280, 7215, 225, "url", 0},
        {"lSize", 9600, 1455, 225, "size", qRgb(192, 255, 192)},
        {"lPercent", 11160, 855, 225, "percent", qRgb(128, 255, 128)},
}};

QLabel *makeLabel(const ColumnDesign &column, QWidget *panel)
{
    auto *label = new QLabel(QString::fromLatin1(column.caption), panel);
    label->setObjectName(QString::fromLatin1(column.name) + QLatin1Char('0'));
    label->setGeometry(design::rect(column.left, 0, column.width, column.height));
    label->setFont(design::font(8.25));
    if (column.background != 0) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, QColor(column.background));
        label->setPalette(palette);
        label->setAutoFillBackground(true);
    }
    label->hide();
    return label;
}

QLabel *copyLabel(const QLabel *source, const QString &name)
{
    auto *label = new QLabel(source->text(), source->parentWidget());
    label->setObjectName(name);
    label->setGeometry(source->geometry());
    label->setFont(source->font());
    label->setPalette(source->palette());
    label->setAutoFillBackground(source->autoFillBackground());
    label->setAlignment(source->alignment());
    label->hide();
    return label;
}

// A screen reader hears a row as one line, from its number.
QString spokenRow(const HarvestStatistics::ConnectionRow &figures)
{
    QStringList said;
    for (const QString &part : {figures.status, figures.url, figures.size, figures.percent}) {
        if (!part.isEmpty())
            said.append(part);
    }
    return said.join(QLatin1Char(' '));
}

}

ConnectionRows::ConnectionRows(QWidget *panel) : QObject(panel), m_panel(panel)
{
    m_rows.append(makeTemplate());
}

QLabel *ConnectionRows::label(int row, Column column) const
{
    return m_rows.at(row).at(size_t(column));
}

int ConnectionRows::bottom() const
{
    const QLabel *sock = m_rows.last()[size_t(Column::Sock)];
    return std::max(0, sock->y() + sock->height());
}

void ConnectionRows::moveTemplateOutOfSight()
{
    QLabel *sock = label(0, Column::Sock);
    sock->move(sock->x(), -sock->height());
}

void ConnectionRows::rebuild(int count)
{
    removeWorkingRows();
    for (int i = 1; i < count; ++i)
        m_rows.append(copyOfTemplate(i));
}

void ConnectionRows::showFigures(const QList<HarvestStatistics::ConnectionRow> &rows)
{
    const int shown = std::min(int(rows.size()), count() - 1);
    for (int i = 1; i <= shown; ++i) {
        const HarvestStatistics::ConnectionRow &figures = rows.at(i - 1);
        label(i, Column::Status)->setText(figures.status);
        label(i, Column::Url)->setText(figures.url);
        label(i, Column::Size)->setText(figures.size);
        label(i, Column::Percent)->setText(figures.percent);
        for (QLabel *shown : m_rows.at(i))
            shown->setForegroundRole(figures.kept ? QPalette::PlaceholderText
                                                  : QPalette::WindowText);
        label(i, Column::Sock)->setAccessibleDescription(spokenRow(figures));
    }
}

ConnectionRows::Row ConnectionRows::makeTemplate()
{
    Row row;
    for (size_t c = 0; c < Columns.size(); ++c)
        row[c] = makeLabel(Columns[c], m_panel);
    return row;
}

ConnectionRows::Row ConnectionRows::copyOfTemplate(int index)
{
    const Row &source = m_rows.first();
    const int pitch = source[size_t(Column::Sock)]->height();
    const int top = m_rows.last()[size_t(Column::Sock)]->y() + pitch;
    Row row;
    for (size_t c = 0; c < Columns.size(); ++c) {
        const QString name = QString::fromLatin1(Columns[c].name) + QString::number(index);
        row[c] = copyLabel(source[c], name);
        row[c]->move(row[c]->x(), top);
    }
    row[size_t(Column::Sock)]->setText(QString::number(index));
    row[size_t(Column::Sock)]->setAccessibleName(QStringLiteral("Connection %1").arg(index));
    for (QLabel *label : row)
        label->show();
    return row;
}

void ConnectionRows::removeWorkingRows()
{
    while (m_rows.size() > 1) {
        for (QLabel *label : m_rows.takeLast())
            delete label;
    }
}

}
