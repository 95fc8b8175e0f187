// HelpWindow: the program's help, an HTML text shipped in the resources, shown
// in a window of its own beside the main window. Topics are anchors named
// "topic<context number>", so a context number opens the page at its topic.
#pragma once

#include <QDialog>
#include <QString>

class QTextBrowser;

class HelpWindow : public QDialog {
    Q_OBJECT
public:
    // The context number of the program's main help topic.
    static constexpr int kMainTopic = 4810;

    explicit HelpWindow(QWidget* parent);

    // The help file all help windows show (a resource path by default).
    static void setHelpFile(const QString& path);
    static QString helpFile();
    // The anchor name of a context number, e.g. "topic4810".
    static QString topicAnchor(int context);

    // Shows the help file at the topic, brings the window to the front.
    void showTopic(int context);

    QTextBrowser* browser() const { return m_browser; }

private:
    QTextBrowser* const m_browser;
};
