// HelpWindow: a text browser in a window of its own.
#include "app/HelpWindow.h"

#include "app/Application.h"

#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {
QString& helpFilePath() {
    static QString path = QStringLiteral(":/help/vexcounter.html");
    return path;
}
} // namespace

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent), m_browser(new QTextBrowser(this)) {
    setWindowTitle(kApplicationTitle + QStringLiteral(" Help"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    m_browser->setOpenExternalLinks(false);
    resize(560, 520);
}

void HelpWindow::setHelpFile(const QString& path) {
    helpFilePath() = path;
}

QString HelpWindow::helpFile() {
    return helpFilePath();
}

QString HelpWindow::topicAnchor(int context) {
    return QStringLiteral("topic%1").arg(context);
}

void HelpWindow::showTopic(int context) {
    QString file = helpFile();
    // A resource path (":/...") becomes a qrc: URL so that the browser finds
    // the pages it links to beside it.
    QUrl url = file.startsWith(QLatin1String(":/")) ? QUrl(QStringLiteral("qrc") + file)
                                                    : QUrl::fromLocalFile(file);
    url.setFragment(topicAnchor(context));
    m_browser->setSource(url);
    m_browser->scrollToAnchor(url.fragment());
    show();
    raise();
    activateWindow();
}
