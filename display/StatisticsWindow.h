// StatisticsWindow: the non-modal Statistics window. A line naming the
// configuration the statistics belong to, a table with one row per channel
// (readings, last, mean, minimum, maximum, standard deviation and, for
// frequency counts, the Allan deviation), a Reset button, and a trend plot of
// the recent readings of the channel chosen in the table. It only shows a
// ChannelStatistics that its owner keeps and feeds; refresh() after each
// finished count redraws what changed, and nothing while the window is hidden.
#pragma once

#include <QWidget>

class ChannelStatistics;
class QLabel;
class QLineSeries;
class QPushButton;
class QTableWidget;
class QValueAxis;
class QChartView;

class StatisticsWindow : public QWidget {
    Q_OBJECT

public:
    // Table columns.
    enum Column {
        ChannelColumn = 0,
        CountColumn,
        LastColumn,
        MeanColumn,
        MinimumColumn,
        MaximumColumn,
        DeviationColumn,
        AllanColumn,
        ColumnCount
    };

    // A top-level window of `owner` (closed with it) showing `statistics`.
    StatisticsWindow(QWidget* owner, const ChannelStatistics& statistics);

    // Shows the statistics as they are now; does nothing while hidden.
    void refresh();

    // The channel whose readings the trend shows (a table row).
    int chosenChannel() const { return m_channel; }
    void chooseChannel(int channel);

    QTableWidget* table() const { return m_table; }
    QPushButton* resetButton() const { return m_resetButton; }
    QLabel* configurationLabel() const { return m_configuration; }
    QLineSeries* trend() const { return m_trend; }
    QChartView* chartView() const { return m_chartView; }

signals:
    // The user pressed Reset.
    void resetRequested();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refreshTable();
    void refreshTrend();
    void setCell(int row, int column, const QString& text);

    const ChannelStatistics& m_statistics;
    QLabel* const m_configuration;
    QTableWidget* const m_table;
    QPushButton* const m_resetButton;
    QChartView* const m_chartView;
    QLineSeries* m_trend = nullptr;
    QValueAxis* m_countAxis = nullptr;
    QValueAxis* m_valueAxis = nullptr;
    int m_channel = 0;
    QString m_unit; // unit shown in the headings
};
