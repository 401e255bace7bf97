#pragma once

#include "engine/harveststatistics.h"

#include <QList>
#include <QObject>

#include <array>

class QLabel;
class QWidget;

namespace mosscatch {

// The per-connection status rows of the connection panel. Row 0 is the
// hidden template; rows 1 to count - 1 are copies of it, one row pitch apart.
class ConnectionRows : public QObject
{
    Q_OBJECT

public:
    enum class Column { Sock, Status, Url, Size, Percent };
    static constexpr int ColumnCount = 5;

    explicit ConnectionRows(QWidget *panel);

    // Rows including the template.
    int count() const { return int(m_rows.size()); }
    QLabel *label(int row, Column column) const;
    // Bottom edge of the lowest row, in the panel.
    int bottom() const;

    // The start-up step that lifts the template one row above the panel.
    void moveTemplateOutOfSight();
    // Rebuilds rows 1 to count - 1 from the template.
    void rebuild(int count);
    // Row i shows rows[i - 1].
    void showFigures(const QList<HarvestStatistics::ConnectionRow> &rows);

private:
    using Row = std::array<QLabel *, ColumnCount>;

    Row makeTemplate();
    Row copyOfTemplate(int index);
    void removeWorkingRows();

    QWidget *m_panel;
    QList<Row> m_rows;
};

}
