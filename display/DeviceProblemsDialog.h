// DeviceProblemsDialog: Help > Device Problems...: every device-config and
// device problem the counting server reports now, one a line, or a sentence
// saying there are none. Not modal; the main window refreshes it whenever the
// list changes.
#pragma once

#include <QDialog>
#include <QString>

#include <string>
#include <vector>

class QLabel;
class QListWidget;

class DeviceProblemsDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kNoProblems = "The server reports no device problems.";

    explicit DeviceProblemsDialog(QWidget* parent);

    // Shows these problems (the server's lines, in its order).
    void setProblems(const std::vector<std::string>& problems);
    // The lines shown; empty when there are none.
    QStringList problems() const;
    // The sentence above the list.
    QString summary() const;

private:
    QLabel* const m_summary;
    QListWidget* const m_list;
};
