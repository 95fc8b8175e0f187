// StatisticsWindow: the non-modal Statistics window. A line naming the
// configuration the statistics belong to, a table with one row per channel
// (readings, last, mean, minimum, maximum, standard deviation and, for
// frequency counts, the Allan deviation), a Reset button, and a trend plot of
// the recent readings of the channel chosen in the table. It only shows a
// ChannelStatistics that its owner keeps and feeds. countsChanged() after each
// finished count redraws what changed, at most every kRefreshInterval ms (a
// later change waits for the rest of the interval), and nothing while the
// window is hidden.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <cstdint>

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

    static constexpr int kRefreshInterval = 1000; // ms
    // The trend's count axis spans whole multiples of this many counts.
    static constexpr int kCountStep = 50;

    // Moves the window beside `owner` on the owner's screen (placeBeside),
    // narrower if that keeps it beside. Called before the window first shows;
    // later the user's place is kept.
    void placeBesideOf(const QWidget& owner);
    // Narrowest width placeBesideOf gives the window, in pixels.
    static constexpr int kMinimumBesideWidth = 600;

    // The statistics changed: shows them now or within the refresh interval.
    void countsChanged();
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
    static void setAxisRange(QValueAxis* axis, double low, double high);

    const ChannelStatistics& m_statistics;
    QLabel* const m_configuration;
    QTableWidget* const m_table;
    QPushButton* const m_resetButton;
    QChartView* const m_chartView;
    QLineSeries* m_trend = nullptr;
    QValueAxis* m_countAxis = nullptr;
    QValueAxis* m_valueAxis = nullptr;
    int m_channel = 0;
    // Channel and statistics' count at the last fit of the value axis.
    int m_rangeChannel = -1;
    int64_t m_rangeCounts = 0;
    QString m_unit;            // unit shown in the headings
    bool m_regression = false; // the Allan column says its readings are regression readings
    QTimer m_refreshTimer;     // a refresh held back by the interval
    QElapsedTimer m_sinceRefresh;
};
