// StatisticsWindow: table, Reset button and trend plot over ChannelStatistics.
#include "display/StatisticsWindow.h"

#include "counter/ChannelStatistics.h"
#include "counter/QtText.h"
#include "display/StatisticsLayout.h"

#include <QChart>
#include <QChartView>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// Values keep ten significant digits: a frequency of some MHz down to mHz;
// high-resolution readings twelve, as many as the grid shows at most.
QString valueText(double value, bool highResolution) {
    return QString::number(value, 'g', highResolution ? 12 : 10);
}

const QString kRegressionTip = QStringLiteral(
    "Allan deviation of regression readings (High Resolution): each reading is a least-squares "
    "fit over all edges of its gate, so it reads lower than a classic Allan deviation at the "
    "same tau. Compare it with the deviation of other regression readings only.");

QString optionalText(const std::optional<double>& value, char format, int precision) {
    return value ? QString::number(*value, format, precision) : QStringLiteral("-");
}

// "Frequency", "Period" or "Event", as in "Event counts of ...".
QString typeCaption(int32_t counterType) {
    if (counterType == 2) return QStringLiteral("Event");
    QString name = toQt(counterTypeName(counterType));
    if (!name.isEmpty()) name[0] = name[0].toUpper();
    return name;
}

const char* const kHeadings[StatisticsWindow::ColumnCount] = {
    "Channel", "Readings", "Last", "Mean", "Minimum", "Maximum", "Std. dev.", "Allan dev."};

} // namespace

StatisticsWindow::StatisticsWindow(QWidget* owner, const ChannelStatistics& statistics)
    : QWidget(owner, Qt::Window), m_statistics(statistics), m_configuration(new QLabel(this)),
      m_table(new QTableWidget(0, ColumnCount, this)),
      m_resetButton(new QPushButton(QStringLiteral("&Reset"), this)),
      // The view owns the chart; a view made without one makes a default chart
      // of its own, which a later setChart() would leave behind unowned.
      m_chartView(new QChartView(new QChart, this)) {
    setWindowTitle(QStringLiteral("Statistics"));

    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->hide();
    m_table->setWordWrap(false); // a long value is cut with an ellipsis, not broken
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_table->horizontalHeader()->setSectionResizeMode(ChannelColumn, QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(CountColumn, QHeaderView::ResizeToContents);
    m_table->setToolTip(QStringLiteral("Choose a channel to see its readings in the trend"));
    connect(m_table, &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
        if (row >= 0) chooseChannel(row);
    });

    // The trend: readings against the number of the finished count.
    QChart* chart = m_chartView->chart();
    chart->legend()->hide();
    m_trend = new QLineSeries(chart);
    chart->addSeries(m_trend);
    m_countAxis = new QValueAxis(chart);
    m_countAxis->setLabelFormat(QStringLiteral("%d"));
    m_countAxis->setTickCount(6);
    m_countAxis->setTitleText(QStringLiteral("Count"));
    m_valueAxis = new QValueAxis(chart);
    m_valueAxis->setLabelFormat(QStringLiteral("%.10g")); // 1000000, not 1e+06
    chart->addAxis(m_countAxis, Qt::AlignBottom);
    chart->addAxis(m_valueAxis, Qt::AlignLeft);
    m_trend->attachAxis(m_countAxis);
    m_trend->attachAxis(m_valueAxis);
    m_chartView->setMinimumHeight(220);

    connect(m_resetButton, &QPushButton::clicked, this, &StatisticsWindow::resetRequested);
    m_resetButton->setToolTip(QStringLiteral("Start the statistics afresh"));

    auto* top = new QHBoxLayout;
    top->addWidget(m_configuration, 1);
    top->addWidget(m_resetButton);
    auto* column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addWidget(m_table, 1);
    column->addWidget(m_chartView, 1);
    resize(900, 700);

    m_refreshTimer.setSingleShot(true);
    connect(&m_refreshTimer, &QTimer::timeout, this, &StatisticsWindow::refresh);
}

void StatisticsWindow::placeBesideOf(const QWidget& owner) {
    const QScreen* screen = owner.screen();
    if (!screen) return;
    const QRect frame = owner.frameGeometry();
    const QRect free = screen->availableGeometry();
    // This window's frame is not known before it shows: take the owner's
    // borders and title bar as its own.
    const int borderWidth = frame.width() - owner.width();
    const int borderHeight = frame.height() - owner.height();
    const ScreenBox box =
        placeBeside({frame.x(), frame.y(), frame.width(), frame.height()},
                    {free.x(), free.y(), free.width(), free.height()}, width() + borderWidth,
                    height() + borderHeight,
                    std::max(kMinimumBesideWidth, minimumSizeHint().width()) + borderWidth);
    resize(box.width - borderWidth, box.height - borderHeight);
    move(box.x, box.y); // the frame's top left
}

void StatisticsWindow::countsChanged() {
    // Counts may finish every 200 ms; redrawing the trend for each would cost
    // more than the counting itself.
    if (!isVisible() || m_refreshTimer.isActive()) return;
    const qint64 since = m_sinceRefresh.isValid() ? m_sinceRefresh.elapsed() : kRefreshInterval;
    if (since >= kRefreshInterval)
        refresh();
    else
        m_refreshTimer.start(static_cast<int>(kRefreshInterval - since));
}

void StatisticsWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
}

void StatisticsWindow::chooseChannel(int channel) {
    if (channel == m_channel) return;
    m_channel = channel;
    if (m_table->currentRow() != channel && channel < m_table->rowCount())
        m_table->selectRow(channel);
    refresh(); // the table and the trend show the same counts
}

void StatisticsWindow::refresh() {
    if (!isVisible()) return;
    m_refreshTimer.stop();
    m_sinceRefresh.start();
    refreshTable();
    refreshTrend();
}

void StatisticsWindow::setCell(int row, int column, const QString& text) {
    QTableWidgetItem* item = m_table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem(text);
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_table->setItem(row, column, item);
    } else if (item->text() != text) {
        item->setText(text); // only changed cells repaint
    }
}

void StatisticsWindow::refreshTable() {
    const CountConfiguration& configuration = m_statistics.configuration();
    const QString label =
        m_statistics.empty()
            ? QStringLiteral("No counts since the last reset.")
            : QStringLiteral("%1 counts of %2, gate %3 s, edges %4: %5")
                      .arg(
                          typeCaption(configuration.counterType), toQt(configuration.module),
                          toQt(gateName(configuration.gateCode)),
                          toQt(edgeName(configuration.edgeCode)),
                          toQt(countsPhrase(m_statistics.counts(), m_statistics.stoppedCounts()))) +
                  (configuration.referenced ? QStringLiteral(", reference time base") : QString()) +
                  (configuration.highResolution ? QStringLiteral(", high resolution") : QString());
    if (m_configuration->text() != label) m_configuration->setText(label);

    // The unit follows the counter type; the Allan deviation has none.
    const QString unit =
        m_statistics.empty() ? QString() : toQt(quantityUnit(configuration.counterType));
    const bool regression = m_statistics.regressionReadings();
    if (unit != m_unit || regression != m_regression ||
        m_table->horizontalHeaderItem(0) == nullptr) {
        m_unit = unit;
        m_regression = regression;
        QStringList headings;
        for (int c = 0; c < ColumnCount; ++c) {
            QString heading = QString::fromLatin1(kHeadings[c]);
            if (c >= LastColumn && c <= DeviationColumn && !unit.isEmpty())
                heading += QStringLiteral("\n(%1)").arg(unit); // narrow beside the main window
            if (c == AllanColumn && regression) heading += QStringLiteral("\n(regression)");
            headings << heading;
        }
        m_table->setHorizontalHeaderLabels(headings);
        m_table->horizontalHeaderItem(AllanColumn)
            ->setToolTip(regression ? kRegressionTip : QString());
    }
    const bool high = configuration.highResolution;

    const int rows = m_statistics.channelCount();
    if (m_table->rowCount() != rows) m_table->setRowCount(rows);
    for (int row = 0; row < rows; ++row) {
        const RunningStatistics& channel = m_statistics.channel(row);
        const bool any = channel.count() > 0;
        setCell(row, ChannelColumn, QString::number(row));
        setCell(row, CountColumn, QString::number(channel.count()));
        setCell(row, LastColumn, any ? valueText(channel.last(), high) : QStringLiteral("-"));
        setCell(row, MeanColumn, any ? valueText(channel.mean(), high) : QStringLiteral("-"));
        setCell(row, MinimumColumn, any ? valueText(channel.minimum(), high) : QStringLiteral("-"));
        setCell(row, MaximumColumn, any ? valueText(channel.maximum(), high) : QStringLiteral("-"));
        setCell(row, DeviationColumn, optionalText(channel.standardDeviation(), 'g', 6));
        setCell(row, AllanColumn, optionalText(m_statistics.allanDeviation(row), 'e', 3));
    }
    if (rows > 0 && m_table->currentRow() < 0) m_table->selectRow(std::min(m_channel, rows - 1));
}

void StatisticsWindow::refreshTrend() {
    if (!isVisible()) return;
    QList<QPointF> points;
    QChart* chart = m_chartView->chart();
    if (m_channel < m_statistics.channelCount()) {
        const TrendHistory& history = m_statistics.history(m_channel);
        points.reserve(static_cast<qsizetype>(history.size()));
        for (size_t i = 0; i < history.size(); ++i)
            points.append(QPointF(static_cast<double>(history[i].count), history[i].value));
    }
    const QString title =
        QStringLiteral("Channel %1%2")
            .arg(m_channel)
            .arg(m_unit.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(m_unit));
    if (chart->title() != title) chart->setTitle(title);
    m_trend->replace(points);
    // A line needs two points: a single reading shows as a dot.
    if (m_trend->pointsVisible() != (points.size() == 1))
        m_trend->setPointsVisible(points.size() == 1);

    // Another channel, or statistics started afresh: the value axis is fitted
    // anew; otherwise the range shown is kept while it still suits the
    // readings (trendValueRange), so its labels are not laid out again on
    // every refresh.
    const bool fresh = m_channel != m_rangeChannel || m_statistics.counts() < m_rangeCounts;
    m_rangeChannel = m_channel;
    m_rangeCounts = m_statistics.counts();
    if (points.isEmpty()) {
        setAxisRange(m_countAxis, 0, kCountStep);
        setAxisRange(m_valueAxis, 0, 1);
        m_rangeChannel = -1; // the first readings fit the axis anew
        return;
    }

    // The count axis moves in whole steps of kCountStep counts.
    const double first = std::floor(points.front().x() / kCountStep) * kCountStep;
    const double span = std::ceil((points.back().x() - first) / kCountStep) * kCountStep;
    setAxisRange(m_countAxis, first, first + std::max<double>(span, kCountStep));

    double low = points.front().y();
    double high = low;
    for (const QPointF& point : points) {
        low = std::min(low, point.y());
        high = std::max(high, point.y());
    }
    const AxisRange range = trendValueRange(
        low, high,
        fresh ? std::nullopt : std::optional(AxisRange{m_valueAxis->min(), m_valueAxis->max()}));
    setAxisRange(m_valueAxis, range.low, range.high);
}

void StatisticsWindow::setAxisRange(QValueAxis* axis, double low, double high) {
    if (axis->min() != low || axis->max() != high) axis->setRange(low, high);
}
