// vfcabout: the About window.
#include "display/vfcabout.h"

#include "TModIfCpp.h"
#include "display/vfcaboutText.h"

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>

#include <array>
#include <cstring>
#include <functional>

namespace {

constexpr int kWidth = 330;  // pixels
constexpr int kHeight = 260; // pixels

// Calls its action on a left-button release over a watched widget and keeps
// the press and release from reaching the widget's parents, so that a click
// acts exactly once, on the widget that was clicked.
class ClickFilter : public QObject {
public:
    ClickFilter(QObject* parent, std::function<void()> action)
        : QObject(parent), m_action(std::move(action)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            return static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const auto* widget = qobject_cast<QWidget*>(watched);
            if (mouse->button() != Qt::LeftButton || !widget) return false;
            if (widget->rect().contains(mouse->position().toPoint())) m_action();
            return true;
        }
        default:
            return false;
        }
    }

private:
    std::function<void()> m_action;
};

QFrame* makePanel(QWidget* parent, const QRect& geometry) {
    auto* panel = new QFrame(parent);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    panel->setGeometry(geometry);
    return panel;
}

QLabel* makeLabel(QWidget* parent, const QString& text, QPoint topLeft) {
    auto* label = new QLabel(text, parent);
    label->move(topLeft);
    label->adjustSize();
    return label;
}

// The server label's text; a failing query and any failure while composing
// the text give the failure text.
QString serverLabel(const AboutServerInfo& server) {
    try {
        std::array<char, 64> id{};
        check(QV_QueryServerID(server.libraryHandle, id.data(), static_cast<int32_t>(id.size())));
        const std::string_view idText(id.data(), strnlen(id.data(), id.size()));
        return QString::fromStdString(ServerLabelText(server.serverHost.has_value(),
                                                      server.serverHost.value_or(std::string()),
                                                      server.serverPort, QV_OK, idText));
    } catch (...) {
        return QString::fromStdString(ServerLabelText(false, {}, 0, QV_ERR_NOT_CONNECTED, {}));
    }
}

void setTextColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

std::unique_ptr<QDialog> BuildAboutWindow(QWidget* mainWindow, const QString& caption,
                                          const AboutServerInfo& server) {
    // A fixed dialog with a title bar and close button only; the main window is
    // its transient parent so that it stays above it while it blocks it.
    auto window = std::make_unique<QDialog>(
        mainWindow, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                        Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    window->setObjectName("aboutWindow");
    window->setModal(true);
    window->setWindowTitle(caption);
    QFont font = QApplication::font();
    font.setFamily("DejaVu Sans");
    font.setPixelSize(11);
    window->setFont(font);
    window->setFixedSize(kWidth, kHeight);

    const QScreen* screen = mainWindow ? mainWindow->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->geometry();
        window->move(area.x() + (area.width() - kWidth) / 2,
                     area.y() + (area.height() - kHeight) / 2);
    }

    // Margin: two widths of "X"; line unit: the font's height in pixels.
    const int m = 2 * QFontMetrics(font).horizontalAdvance(QLatin1Char('X'));
    const int u = font.pixelSize();
    const int panelWidth = window->width() - 2 * m;
    const int panelHeight = (window->height() - 3 * m) / 2;

    QFrame* upper = makePanel(window.get(), QRect(m, m, panelWidth, panelHeight));
    upper->setObjectName("upperPanel");
    QFrame* lower = makePanel(window.get(), QRect(m, m + panelHeight + m, panelWidth, panelHeight));
    lower->setObjectName("lowerPanel");

    QLabel* version = makeLabel(upper, QString::fromStdString(VersionLabelText()), QPoint(m, u));
    version->setObjectName("versionLabel");
    QLabel* serverText = makeLabel(lower, serverLabel(server), QPoint(m, u));
    serverText->setObjectName("serverLabel");

    // Drawn in its panel's own colour, so it is there but cannot be seen.
    QLabel* hidden = makeLabel(upper, QString::fromStdString(HiddenNoticeText()), QPoint(m, 7 * u));
    hidden->setObjectName("hiddenLabel");
    const QColor panelColour = upper->palette().color(QPalette::Window);
    setTextColour(hidden, panelColour);

    QDialog* dialog = window.get();
    auto* closer = new ClickFilter(dialog, [dialog] { dialog->close(); });
    for (QWidget* w : std::initializer_list<QWidget*>{dialog, upper, lower, version, serverText})
        w->installEventFilter(closer);
    auto* toggler = new ClickFilter(hidden, [hidden, panelColour] {
        const bool red = hidden->palette().color(QPalette::WindowText) == QColor(Qt::red);
        setTextColour(hidden, red ? panelColour : QColor(Qt::red));
    });
    hidden->installEventFilter(toggler);
    return window;
}

void ShowAboutWindow(QWidget* mainWindow, const QString& caption, const AboutServerInfo& server) {
    const std::unique_ptr<QDialog> window = BuildAboutWindow(mainWindow, caption, server);
    window->exec();
    window->close();
}
