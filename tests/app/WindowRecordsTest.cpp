// Statistics, log and copy of the main window on the real device library and
// its built-in server: continuous 100 ms frequency counts on QVSIMC01, whose
// channel 0 carries exactly 1 MHz. Every wait has a deadline.
#include "WindowDriver.h"

#include "app/RecordsController.h"
#include "counter/MeasurementLog.h"
#include "counter/ResultCell.h"
#include "display/StatisticsWindow.h"
#include "modules/vfcmodsel.h"

#include <QAction>
#include <QApplication>
#include <QChartView>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineSeries>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QValueAxis>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace windowtest;

class RecordsOnServer : public testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<TMainForm>();
        records = form->records();
        ASSERT_NE(records, nullptr);
    }
    void TearDown() override { form.reset(); }

    bool allowSimulations() {
        QTest::mouseClick(form->moduleGroup()->simCheck(), Qt::LeftButton);
        return waitUntil(
            [&] { return moduleText(*form) == "Using QVSIMC01" && form->runAction()->isEnabled(); },
            1500);
    }
    // Starts continuous counts and waits until `more` further counts finished.
    bool countContinuously(int more) {
        form->continuousAction()->setChecked(true);
        if (form->runAction()->isEnabled()) form->runAction()->trigger();
        return waitFor(more);
    }
    bool waitFor(int more) {
        const int64_t target = records->statistics().counts() + more;
        return waitUntil([&] { return records->statistics().counts() >= target; }, 600 * more);
    }
    // Lets the count in progress finish and the run end.
    bool endRun() {
        form->continuousAction()->setChecked(false);
        return waitUntil([&] { return form->runAction()->isEnabled(); }, 2000);
    }
    QString cell(int row, int column) const {
        const QTableWidgetItem* item = records->statisticsWindow()->table()->item(row, column);
        return item ? item->text() : QStringLiteral("<none>");
    }
    QMessageBox* visibleMessage() const {
        QMessageBox* box = records->logMessage();
        return box && box->isVisible() ? box : nullptr;
    }

    std::unique_ptr<TMainForm> form;
    RecordsController* records = nullptr;
};

TEST_F(RecordsOnServer, StatisticsLogAndCopyFollowTheCounts) {
    ASSERT_TRUE(allowSimulations());
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("counts.csv"));
    ASSERT_TRUE(records->startLogging(path));
    EXPECT_TRUE(records->logAction()->isChecked());

    // Ctrl+T opens the Statistics window beside the main window.
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form.get(), Qt::Key_T, Qt::ControlModifier);
    StatisticsWindow* window = records->statisticsWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isModal());
    // Beside the main window where the screen has room, on the screen always,
    // never at the top left over the main window.
    const QRect screen = form->screen()->availableGeometry();
    const QRect main = form->frameGeometry();
    const QRect beside = window->frameGeometry();
    EXPECT_TRUE(screen.contains(beside));
    EXPECT_NE(beside.topLeft(), main.topLeft());
    if (screen.right() - main.right() >= StatisticsWindow::kMinimumBesideWidth) {
        EXPECT_GT(beside.left(), main.right());
    }

    // VFC_STATISTICS_SCREENSHOT=file.png: more counts, and a picture of the
    // window with the trend of channel 13 (33 or 34 edges per gate).
    const QString screenshot = qEnvironmentVariable("VFC_STATISTICS_SCREENSHOT");
    ASSERT_TRUE(countContinuously(screenshot.isEmpty() ? 4 : 40));
    ASSERT_TRUE(endRun());
    const int64_t counts = records->statistics().counts();
    if (!screenshot.isEmpty()) {
        window->chooseChannel(13);
        QTest::qWait(StatisticsWindow::kRefreshInterval + 200);
        EXPECT_TRUE(window->grab().save(screenshot));
        window->chooseChannel(0);
    }

    // Channel 0: n readings of exactly 1 000 000 Hz, no spread. The window
    // shows the last count within its refresh interval.
    EXPECT_TRUE(
        waitUntil([&] { return cell(0, StatisticsWindow::CountColumn) == QString::number(counts); },
                  StatisticsWindow::kRefreshInterval + 500));
    EXPECT_EQ(window->table()->rowCount(), 18);
    EXPECT_EQ(cell(0, StatisticsWindow::MeanColumn), "1000000");
    EXPECT_EQ(cell(0, StatisticsWindow::LastColumn), "1000000");
    EXPECT_EQ(cell(0, StatisticsWindow::DeviationColumn), "0");
    EXPECT_EQ(cell(0, StatisticsWindow::AllanColumn), "0.000e+00");
    EXPECT_EQ(window->table()->horizontalHeaderItem(StatisticsWindow::MeanColumn)->text(),
              "Mean\n(Hz)");
    EXPECT_TRUE(window->configurationLabel()->text().contains("QVSIMC01"));
    EXPECT_EQ(window->trend()->count(), counts) << "channel 0's readings in the trend";
    // A steady 1 MHz is a line in the middle of the plot, not on the floor of
    // an axis from 0 up.
    const auto axes = window->chartView()->chart()->axes(Qt::Vertical);
    ASSERT_EQ(axes.size(), 1);
    const auto* valueAxis = qobject_cast<const QValueAxis*>(axes[0]);
    ASSERT_NE(valueAxis, nullptr);
    EXPECT_DOUBLE_EQ(valueAxis->min(), 1e6 - 1);
    EXPECT_DOUBLE_EQ(valueAxis->max(), 1e6 + 1);
    window->chooseChannel(8);
    ASSERT_GT(window->trend()->count(), 0);
    EXPECT_EQ(window->trend()->at(0).y(), 1e7) << "channel 8 carries 10 MHz";

    // The log: a header, then one row per finished count, matching the grid.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), counts + 1);
    EXPECT_EQ(lines[0] + '\n', QString::fromStdString(MeasurementLog::headerLine(0, 18)));
    const QRegularExpression time(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$)");
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringList fields = lines[i].split(',');
        ASSERT_EQ(fields.size(), 5 + 18 + 2) << lines[i].toStdString();
        EXPECT_TRUE(time.match(fields[0]).hasMatch()) << fields[0].toStdString();
        EXPECT_EQ(fields.mid(1, 4), QStringList({"QVSIMC01", "frequency", "0.1", "R-R"}));
        EXPECT_EQ(fields[5], "1000000");
        EXPECT_EQ(fields.mid(5 + 18), QStringList({"finished", "internal"}));
    }
    const QStringList last = lines.back().split(',');
    for (int channel = 0; channel < 18; ++channel)
        EXPECT_EQ(last[5 + channel].toStdString(),
                  splitResultCell(form->grid()->Result(channel).toStdString()).number)
            << "channel " << channel;

    // Ctrl+C: the grid as tab-separated text.
    QApplication::clipboard()->clear();
    window->close(); // the main window gets the keys again
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->grid()->setFocus(); // the grid's own copy of one cell must not win
    QTest::keyClick(form->grid(), Qt::Key_C, Qt::ControlModifier);
    const QStringList copied = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(copied.size(), 19);
    EXPECT_EQ(copied[0], "Channel\tName\tFrequency\tUnit");
    EXPECT_EQ(copied[1], "0\tChannel 0\t1000000\tHz");
    EXPECT_EQ(copied[9], "8\tChannel 8\t10000000\tHz");

    // Reset empties the statistics; the next count starts them again.
    records->statisticsAction()->trigger();
    ASSERT_TRUE(window->isVisible());
    QTest::mouseClick(window->resetButton(), Qt::LeftButton);
    EXPECT_EQ(window->table()->rowCount(), 0);
    EXPECT_TRUE(records->statistics().empty());
    form->runAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return form->runAction()->isEnabled(); }, 2000));
    EXPECT_TRUE(waitUntil([&] { return cell(0, StatisticsWindow::CountColumn) == "1"; },
                          StatisticsWindow::kRefreshInterval + 500));
    EXPECT_EQ(cell(0, StatisticsWindow::DeviationColumn), "-");
}

// An event count with the infinite gate ends only by Stop: it is logged,
// marked stopped, with the totals the grid shows, and counted in the
// statistics of its configuration; so is a frequency count stopped early.
TEST_F(RecordsOnServer, CountsEndedByStopAreLoggedAndCounted) {
    ASSERT_TRUE(allowSimulations());
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("stopped.csv"));
    ASSERT_TRUE(records->startLogging(path));
    records->statisticsAction()->trigger();
    StatisticsWindow* window = records->statisticsWindow();
    ASSERT_NE(window, nullptr);

    clickItem(*form->countTypeGroup(), 2);
    clickItem(*form->gateGroup(), 3);
    form->runAction()->trigger();
    // Some totals first: channel 0 counts 1 MHz.
    ASSERT_TRUE(waitUntil(
        [&] {
            const std::string number =
                splitResultCell(form->grid()->Result(0).toStdString()).number;
            return QString::fromStdString(number).toDouble() > 0;
        },
        3000));
    form->stopAction()->trigger();
    ASSERT_EQ(records->statistics().counts(), 1);
    EXPECT_EQ(records->statistics().stoppedCounts(), 1);
    const double total = records->statistics().channel(0).last();
    EXPECT_GT(total, 0.0);
    EXPECT_TRUE(waitUntil(
        [&] { return window->configurationLabel()->text().endsWith(": 1 count, 1 stopped"); },
        StatisticsWindow::kRefreshInterval + 500))
        << window->configurationLabel()->text().toStdString();
    EXPECT_TRUE(window->configurationLabel()->text().startsWith(
        "Event counts of QVSIMC01, gate inf s, edges R-R"));

    // A 10 s frequency count stopped at once: no values, still a row.
    clickItem(*form->countTypeGroup(), 0);
    clickItem(*form->gateGroup(), 2);
    ASSERT_TRUE(waitTicks(*form, 1));
    form->runAction()->trigger();
    ASSERT_TRUE(waitTicks(*form, 2));
    form->stopAction()->trigger();
    EXPECT_EQ(records->statistics().counts(), 1) << "another configuration";

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    const QStringList events = lines[1].split(',');
    ASSERT_EQ(events.size(), 5 + 18 + 2);
    EXPECT_EQ(events.mid(1, 4), QStringList({"QVSIMC01", "events", "inf", "R-R"}));
    EXPECT_EQ(events.mid(5 + 18), QStringList({"stopped", "internal"}));
    EXPECT_EQ(events[5].toDouble(), total);
    const QStringList frequency = lines[3].split(',');
    EXPECT_EQ(frequency.mid(1, 4), QStringList({"QVSIMC01", "frequency", "10", "R-R"}));
    EXPECT_EQ(frequency.mid(5, 18), QStringList(18, QString()));
    EXPECT_EQ(frequency.mid(5 + 18), QStringList({"stopped", "internal"}));
}

TEST_F(RecordsOnServer, AFailingLogStopsWithOneMessageAndCountsGoOn) {
    ASSERT_TRUE(allowSimulations());
    ASSERT_TRUE(records->startLogging(QStringLiteral("/dev/full")));
    form->continuousAction()->setChecked(true);
    form->runAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return !records->logging(); }, 2000));
    EXPECT_FALSE(records->logAction()->isChecked());
    QMessageBox* message = visibleMessage();
    ASSERT_NE(message, nullptr);
    EXPECT_TRUE(message->text().contains("No space left on device"))
        << message->text().toStdString();
    EXPECT_FALSE(message->isModal());

    // The counts go on, and the message is not repeated.
    ASSERT_TRUE(waitFor(3));
    EXPECT_EQ(form->runState(), 1);
    EXPECT_EQ(visibleMessage(), message);
    ASSERT_TRUE(endRun());
}

// File > Log to File...: the file dialog names the file; cancelling it, or
// choosing the item again, leaves the log closed and the item unchecked. The
// dialog's own history does not end up among the user's settings.
TEST_F(RecordsOnServer, LogToFileAsksForTheFileAndChoosingItAgainStops) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("chosen.csv"));
    const QString userSettings = QDir::homePath() + QStringLiteral("/.config/QtProject.conf");
    const bool settingsBefore = QFile::exists(userSettings);
    // Answers the dialog once it is up: a file name, or Cancel when empty.
    const auto answerDialog = [](const QString& file) {
        QTimer::singleShot(0, [file] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            if (file.isEmpty()) {
                dialog->reject();
            } else {
                dialog->selectFile(file);
                static_cast<QDialog*>(dialog)->accept(); // as the Save button does
            }
        });
    };

    answerDialog(QString());
    records->logAction()->trigger();
    EXPECT_FALSE(records->logAction()->isChecked());
    EXPECT_FALSE(records->logging());

    answerDialog(path);
    records->logAction()->trigger();
    EXPECT_TRUE(records->logAction()->isChecked());
    EXPECT_TRUE(records->logging());
    EXPECT_TRUE(QFile::exists(path));

    records->logAction()->trigger();
    EXPECT_FALSE(records->logAction()->isChecked());
    EXPECT_FALSE(records->logging());
    EXPECT_EQ(QFile::exists(userSettings), settingsBefore);
}

TEST_F(RecordsOnServer, AModuleChangeStartsTheStatisticsAfresh) {
    ASSERT_TRUE(allowSimulations());
    ASSERT_TRUE(countContinuously(2));
    ASSERT_TRUE(endRun());
    ASSERT_FALSE(records->statistics().empty());
    QTest::keyClick(form->moduleGroup()->box(), Qt::Key_Down); // QVSIMC02
    ASSERT_TRUE(waitUntil([&] { return moduleText(*form) == "Using QVSIMC02"; }, 1500));
    EXPECT_TRUE(records->statistics().empty());
}

} // namespace
