// TMainForm: the connection to the counting server and its failure report.
#include "app/vfcmain.h"

#include "app/Application.h"

#include <QTimer>

void TMainForm::connectToServer() {
    // A port text that is no port number would send the session to the
    // default port, where another server may answer: refused like a failed
    // connection.
    if (m_server.invalidPort) ReportServerFailure(QString::fromUtf8(kServerFailureText));

    // Anything that goes wrong here, from creating the session on, is a
    // failed connection.
    try {
        m_library = std::make_unique<TModIfCpp>();
        check(QV_ConnectToServer(m_library->handle(), m_server.hostOrNull(), m_server.port));
    } catch (...) {
        ReportServerFailure(QString::fromUtf8(kServerFailureText));
    }
}

void TMainForm::ReportServerFailure(const QString& text) {
    const QString message =
        QString::fromStdString(serverFailureMessage(text.toStdString(), m_server));
    const QString caption = windowTitle() + QString::fromUtf8(kServerFailureCaptionSuffix);

    // No tick may run inside the box's event loop.
    const bool timerWasActive = m_pollTimer && m_pollTimer->isActive();
    if (m_pollTimer) m_pollTimer->stop();
    reportFatalStart(caption, message, this);
    if (timerWasActive) m_pollTimer->start();

    throw ProcessExit(1);
}
