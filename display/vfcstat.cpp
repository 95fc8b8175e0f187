// Status bar panels: text panels, the owner-drawn pins and heartbeat panels,
// and their placement along the bar.
#include "display/vfcstat.h"

#include <QPaintEvent>
#include <QPainter>
#include <qdrawutil.h>

#include <algorithm>

namespace {
constexpr int kHeartbeatWidth = 10; // pixels
constexpr int kFillerWidth = 50;    // pixels, when the bar is too narrow to stretch it
constexpr int kPanelGap = 2;        // pixels between neighbouring panels
constexpr int kPanelTop = 2;        // pixels above the panels
constexpr int kTextIndent = 2;      // pixels from a text panel's border to its text
// What a text panel needs around its text: the gap, the 1-pixel bevel on both
// sides and the indent on both sides, so that its width text shows whole.
constexpr int kTextPanelChrome = kPanelGap + 2 + 2 * kTextIndent;
const QString kModuleStartText = QStringLiteral("Module not selected");
const QColor kGrey(128, 128, 128);

// Every text the module panel shows: the start text, and "Using " with the
// widest name of at most 8 characters.
QStringList moduleTexts() {
    return {kModuleStartText, QStringLiteral("Using MMMMMMMM"), QStringLiteral("No module open")};
}
// Every text the measurement cycle and the module attachment write into the
// run-state panel.
QStringList runStateTexts() {
    return {QStringLiteral("Running"),
            QStringLiteral("Waiting for trigger"),
            QStringLiteral("Waiting for reference"),
            QStringLiteral("Counting"),
            QStringLiteral("Frequency Count Finished"),
            QStringLiteral("Period Count Finished"),
            QStringLiteral("Event Count Finished"),
            QStringLiteral("Stopping"),
            QStringLiteral("Idle"),
            QStringLiteral("Server lost"),
            QStringLiteral("Module lost"),
            QStringLiteral("Module taken"),
            QStringLiteral("Open failed"),
            QStringLiteral("Module not listed"),
            QStringLiteral("Library error")};
}

// What a screen reader says for each panel, and how it describes it.
struct PanelSpeech {
    const char* name;
    const char* description;
};
constexpr std::array<PanelSpeech, TModStatusBar::kPanelCount> kPanelSpeech{{
    {"Module", "The module in use"},
    {"Run state", "State of the measurement run"},
    {"Pin levels", "Live logic level of each pin of the module"},
    {"Heartbeat", "Flips once a second while no count runs"},
    {"Status", "Messages such as a new device problem"},
    {"Time base", "The external reference of the module: its lock and offset"},
}};

// Left to right: the time base stands between the heartbeat and the filler.
constexpr std::array<int, TModStatusBar::kPanelCount> kPanelOrder{
    TModStatusBar::ModulePanel,    TModStatusBar::RunStatePanel, TModStatusBar::PinsPanel,
    TModStatusBar::HeartbeatPanel, TModStatusBar::TimeBasePanel, TModStatusBar::FillerPanel};

// The widest time-base text, so the panel keeps its width as the offset moves.
const QString kWidestTimeBase = QStringLiteral("Ref 10 MHz: locked, -888.8 ppm");

bool isTextPanel(int index) {
    return index == TModStatusBar::ModulePanel || index == TModStatusBar::RunStatePanel ||
           index == TModStatusBar::TimeBasePanel;
}
} // namespace

// One panel: keeps its text and paints itself, opaquely, so that updating it
// never repaints the bar or a neighbour.
class TModStatusBar::Panel : public QWidget {
public:
    Panel(TModStatusBar* bar, int index, bool bevel, bool ownerDraw, const QString& text)
        : QWidget(bar), m_bar(bar), m_index(index), m_bevel(bevel), m_ownerDraw(ownerDraw),
          m_text(text) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        const PanelSpeech& speech = kPanelSpeech[static_cast<size_t>(index)];
        setAccessibleDescription(QString::fromLatin1(speech.description));
        speak();
    }

    const QString& text() const { return m_text; }
    // Drawn instead of the text when the text does not fit the panel.
    void setShortText(const QString& text) {
        if (text == m_shortText) return;
        m_shortText = text;
        update();
    }
    void setText(const QString& text) {
        if (text == m_text) return;
        m_text = text;
        speak();
        update();
    }

private:
    // The accessible name says what the panel shows now ("Run state:
    // Counting"), so a screen reader reads the state, not only the panel.
    void speak() {
        const QString label = QString::fromLatin1(kPanelSpeech[static_cast<size_t>(m_index)].name);
        QString shown = m_text.trimmed();
        if (m_index == PinsPanel)
            shown = QString::fromStdString(describePinStates(m_text.toStdString()));
        else if (m_index == HeartbeatPanel)
            shown = m_text == QLatin1String("0") ? QStringLiteral("yellow over blue")
                                                 : QStringLiteral("blue over yellow");
        setAccessibleName(shown.isEmpty() ? label : label + QStringLiteral(": ") + shown);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (m_index == FillerPanel && !m_bar->message().isEmpty()) emit m_bar->messageClicked();
        QWidget::mousePressEvent(event);
    }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().window());
        QRect inside = rect();
        if (m_bevel) {
            qDrawShadePanel(&painter, rect(), palette(), true, 1);
            inside.adjust(1, 1, -1, -1);
        }
        painter.setClipRect(inside);
        if (m_ownerDraw) {
            m_bar->DrawPanel(painter, m_index, inside);
        } else {
            painter.setPen(palette().color(QPalette::WindowText));
            // A text wider than its panel ends in an ellipsis (the tool tip
            // holds it whole).
            const QRect area = inside.adjusted(kTextIndent, 0, 0, 0);
            const bool fits = painter.fontMetrics().horizontalAdvance(m_text) <= area.width();
            const QString& text = fits || m_shortText.isEmpty() ? m_text : m_shortText;
            const QString shown =
                painter.fontMetrics().elidedText(text, Qt::ElideRight, area.width());
            painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
        }
    }

private:
    TModStatusBar* const m_bar;
    const int m_index;
    const bool m_bevel;
    const bool m_ownerDraw;
    QString m_text;
    QString m_shortText;
};

TModStatusBar::TModStatusBar(QWidget* mainWindow)
    : QStatusBar(mainWindow), m_messageTimer(new QTimer(this)) {
    // The fixed-size window has nothing to resize, and the bar paints all
    // of itself (so temporary messages never cover the panels).
    setSizeGripEnabled(false);
    setAttribute(Qt::WA_OpaquePaintEvent);

    for (int i = 0; i < kPinGlyphCount; ++i)
        m_glyphs[static_cast<size_t>(i)] =
            QPixmap(QStringLiteral(":/resources/status/%1.xpm").arg(1000 + i));

    m_panels = {
        new Panel(this, ModulePanel, true, false, kModuleStartText),
        new Panel(this, RunStatePanel, true, false, QStringLiteral("  ")),
        new Panel(this, PinsPanel, true, true, QString()),
        new Panel(this, HeartbeatPanel, false, true, QString()),
        new Panel(this, FillerPanel, true, false, QStringLiteral("    ")),
        new Panel(this, TimeBasePanel, true, false, QString()),
    };
    m_widthTexts[TimeBasePanel] = {kWidestTimeBase};
    m_messageTimer->setSingleShot(true);
    m_messageTimer->setInterval(kMessageTime);
    connect(m_messageTimer, &QTimer::timeout, this, [this] { ShowMessage({}); });
    m_widthTexts[ModulePanel] = moduleTexts();
    m_widthTexts[RunStatePanel] = runStateTexts();
    m_widthTexts[PinsPanel] = {QStringLiteral("Pins: 7 0") + QString(17, QLatin1Char('M'))};
    applyFontMetrics();
}

void TModStatusBar::SetPanelText(int index, const QString& text) {
    if (index < 0 || index >= kPanelCount) return;
    if (isTextPanel(index) && !m_widthTexts[static_cast<size_t>(index)].contains(text))
        AddPanelText(index, text);
    m_panels[static_cast<size_t>(index)]->setText(text);
}

QStringList TModStatusBar::panelTexts(int index) const {
    return isTextPanel(index) ? m_widthTexts[static_cast<size_t>(index)] : QStringList();
}

void TModStatusBar::AddPanelText(int index, const QString& text) {
    if (!isTextPanel(index)) return;
    QStringList& texts = m_widthTexts[static_cast<size_t>(index)];
    const QFontMetrics metrics(font());
    const auto wider = [&](const QString& known) {
        return metrics.horizontalAdvance(known) >= metrics.horizontalAdvance(text);
    };
    // Only a text wider than every known one changes the panel.
    if (std::any_of(texts.cbegin(), texts.cend(), wider)) return;
    texts.append(text);
    placePanels();
}

QString TModStatusBar::panelText(int index) const {
    if (index < 0 || index >= kPanelCount) return {};
    return m_panels[static_cast<size_t>(index)]->text();
}

QWidget* TModStatusBar::panelWidget(int index) const {
    if (index < 0 || index >= kPanelCount) return nullptr;
    return m_panels[static_cast<size_t>(index)];
}

void TModStatusBar::SetModuleText(const QString& moduleName) {
    SetPanelText(ModulePanel, QStringLiteral("Using ") + moduleName);
}

void TModStatusBar::SetRunState(const QString& text) {
    SetPanelText(RunStatePanel, text);
}

void TModStatusBar::SetPinStates(const QString& text) {
    SetPanelText(PinsPanel, text);
}

void TModStatusBar::SetPinCount(int32_t count) {
    m_pinCount = count;
    const int shown = std::max(count, 0);
    // Room for the label, a glyph per pin, the group gaps and the "0".
    m_widthTexts[PinsPanel] = {QStringLiteral("Pins: ") + QString::number(count - 1) +
                               QStringLiteral(" 0 ") + QString(shown + 1, QLatin1Char('M')) +
                               QString(shown / 4, QLatin1Char(' '))};
    placePanels();
    m_panels[PinsPanel]->update(); // the label's number may change with the same text
    SetPanelText(PinsPanel, QString(shown, QLatin1Char('0')));
}

void TModStatusBar::ToggleHeartbeat() {
    SetPanelText(HeartbeatPanel, panelText(HeartbeatPanel) == QLatin1String("0")
                                     ? QStringLiteral("1")
                                     : QStringLiteral("0"));
}

void TModStatusBar::SetTimeBaseText(const QString& text, const QString& shortText) {
    m_panels[TimeBasePanel]->setShortText(shortText);
    SetPanelText(TimeBasePanel, text);
    m_panels[TimeBasePanel]->setToolTip(text);
    placePanels();
}

void TModStatusBar::ShowMessage(const QString& text) {
    m_message = text;
    SetPanelText(FillerPanel, text.isEmpty() ? QStringLiteral("    ") : text);
    m_panels[FillerPanel]->setToolTip(text);
    if (text.isEmpty())
        m_messageTimer->stop();
    else
        m_messageTimer->start();
    placePanels();
}

void TModStatusBar::DrawPanel(QPainter& painter, int index, const QRect& rect) {
    if (index == PinsPanel) drawPins(painter, rect);
    if (index == HeartbeatPanel) drawHeartbeat(painter, rect);
}

// "Pins: 17", the glyphs from the highest pin down to pin 0, then "0"; the
// numbers in grey.
void TModStatusBar::drawPins(QPainter& painter, const QRect& rect) {
    painter.fillRect(rect, palette().window());
    painter.setFont(font());
    const QFontMetrics metrics(font());
    const int baseline = rect.top() + 1 + metrics.ascent();
    int x = rect.left() + 1;

    const QString label = QStringLiteral("Pins: ");
    painter.setPen(Qt::black);
    painter.drawText(x, baseline, label);
    x += metrics.horizontalAdvance(label);

    const QString highest = QString::number(m_pinCount - 1);
    painter.setPen(kGrey);
    painter.drawText(x, baseline, highest);
    x += metrics.horizontalAdvance(highest);

    const QByteArray states = panelText(PinsPanel).toLatin1();
    const PinRowLayout row =
        layoutPinRow(std::string_view(states.constData(), static_cast<size_t>(states.size())),
                     m_pinCount, x + 2);
    for (const PinGlyphPlace& place : row.glyphs)
        painter.drawPixmap(place.x, rect.top(), m_glyphs[static_cast<size_t>(place.glyph)]);
    painter.drawText(row.zeroLabelX, baseline, QStringLiteral("0"));
}

// Blue over yellow, or yellow over blue once the text is "0".
void TModStatusBar::drawHeartbeat(QPainter& painter, const QRect& rect) {
    const int middle = (rect.top() + rect.bottom() + 1) / 2;
    const QRect upper(rect.left(), rect.top(), rect.width(), middle - rect.top());
    const QRect lower(rect.left(), middle, rect.width(), rect.bottom() + 1 - middle);
    const bool flipped = panelText(HeartbeatPanel) == QLatin1String("0");
    painter.fillRect(upper, flipped ? Qt::yellow : Qt::blue);
    painter.fillRect(lower, flipped ? Qt::blue : Qt::yellow);
}

void TModStatusBar::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().window());
}

void TModStatusBar::resizeEvent(QResizeEvent* event) {
    QStatusBar::resizeEvent(event);
    placePanels();
}

void TModStatusBar::changeEvent(QEvent* event) {
    QStatusBar::changeEvent(event);
    if (event->type() == QEvent::FontChange) applyFontMetrics();
}

void TModStatusBar::applyFontMetrics() {
    setFixedHeight(fontMetrics().height() + 6);
    placePanels();
}

// Panels stand side by side from the left edge, each as wide as its width
// text less the gap to its neighbour; the filler takes the rest. The time
// base shows only with a text and no message, and takes no more than the
// room that is left.
void TModStatusBar::placePanels() {
    const QFontMetrics metrics(font());
    const int panelHeight = std::max(0, height() - kPanelTop);
    const bool timeBase = m_message.isEmpty() && !panelText(TimeBasePanel).isEmpty();
    m_panels[TimeBasePanel]->setVisible(timeBase);
    int x = 0;
    for (const int i : kPanelOrder) {
        int width = 0;
        if (i == HeartbeatPanel)
            width = kHeartbeatWidth;
        else if (i == FillerPanel)
            width = std::max(timeBase ? 0 : kFillerWidth, this->width() - x);
        else if (i == TimeBasePanel && !timeBase)
            continue;
        else
            for (const QString& text : m_widthTexts[static_cast<size_t>(i)])
                width = std::max(width, metrics.horizontalAdvance(text));
        if (isTextPanel(i)) width += kTextPanelChrome;
        if (i == TimeBasePanel) width = std::min(width, std::max(0, this->width() - x));
        m_panels[static_cast<size_t>(i)]->setGeometry(x, kPanelTop, std::max(0, width - kPanelGap),
                                                      panelHeight);
        x += width;
    }
}
