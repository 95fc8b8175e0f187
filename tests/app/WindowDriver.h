// Helpers for tests that drive the whole main window as a user would: waiting
// with a deadline while the event loop (and so the poll timer) runs, clicking
// the settings groups, and reading the status bar and the grid.
#pragma once

#include "app/vfcmain.h"
#include "counter/vfcgroups.h"
#include "display/vfcgrid.h"
#include "display/vfcstat.h"

#include <QElapsedTimer>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <string>
#include <vector>

namespace windowtest {

// Runs the event loop until pred() holds or timeoutMs have passed; answers
// pred() at the end.
template <class Pred> bool waitUntil(Pred pred, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!pred()) {
        if (clock.elapsed() > timeoutMs) return pred();
        QTest::qWait(5);
    }
    return true;
}

// Runs the event loop for a number of poll timer ticks (bounded in time).
inline bool waitTicks(TMainForm& form, int ticks) {
    int seen = 0;
    QObject context;
    QObject::connect(form.pollTimer(), &QTimer::timeout, &context, [&] { ++seen; });
    return waitUntil([&] { return seen >= ticks; }, ticks * 100 + 1000);
}

inline QString panel(const TMainForm& form, int index) {
    return form.modStatusBar()->panelText(index);
}
inline QString moduleText(const TMainForm& form) {
    return panel(form, TModStatusBar::ModulePanel);
}
inline QString stateText(const TMainForm& form) {
    return panel(form, TModStatusBar::RunStatePanel);
}
inline QString pinText(const TMainForm& form) {
    return panel(form, TModStatusBar::PinsPanel);
}

// Clicks item `index` of a radio group on its round indicator, as the user
// does (the button is wider than its caption, so its middle may miss).
inline void clickItem(TMyRadioGroup& group, int index) {
    QRadioButton* button = group.itemButton(index);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

// The results of all rows of the grid, by channel.
inline std::vector<std::string> results(const TMainForm& form) {
    std::vector<std::string> texts;
    for (int channel = 0; channel < form.grid()->ChannelCount(); ++channel)
        texts.push_back(form.grid()->Result(channel).toStdString());
    return texts;
}

// The state panel's text after every tick of the poll timer (and whenever
// note() is called), each change once: the sequence the user sees.
class StateRecorder {
public:
    explicit StateRecorder(TMainForm& form) : m_form(form) {
        // Connected after the window's own tick handler, so it runs after it.
        QObject::connect(form.pollTimer(), &QTimer::timeout, &m_context, [this] {
            ++m_ticks;
            note();
        });
    }
    void note() {
        const std::string text = stateText(m_form).toStdString();
        if (m_texts.empty() || m_texts.back() != text) m_texts.push_back(text);
    }
    const std::vector<std::string>& texts() const { return m_texts; }
    int ticks() const { return m_ticks; }
    void clear() { m_texts.clear(); }

private:
    TMainForm& m_form;
    QObject m_context;
    std::vector<std::string> m_texts;
    int m_ticks = 0;
};

} // namespace windowtest
