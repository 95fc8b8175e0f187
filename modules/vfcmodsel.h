// TModSelGroup: the "Module" group of the top panel. It lists the modules the
// device library reports (filtered by ModuleList), lets the user add the
// library's simulations, keeps the choice across the periodic refresh by name,
// and hands every choice to AnalyserData. It never opens a module itself: the
// main window does that on the data model's module-changed event.
#pragma once

#include "counter/vfcgroups.h"
#include "modules/ModuleList.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

class AnalyserData;
class QCheckBox;
class QComboBox;
class TModIfCpp;

class TModSelGroup : public TMyGroup {
    Q_OBJECT

public:
    // Two-part hint: tool tip before "|", What's This text after it.
    static const char* const kHint;

    TModSelGroup(QWidget* parent, const QString& caption, AnalyserData* data,
                 bool extendedModels = false);
    ~TModSelGroup() override;

    // Told about an exception that escaped the handling of a user's choice
    // in the box or on the check box (handler name, exception); the exception
    // goes no further. Empty: such exceptions are dropped.
    using HandlerFailure = std::function<void(const char* handler, const std::exception_ptr&)>;
    HandlerFailure OnHandlerFailure;
    // Called after the user chose, in the box, the module that the data
    // model already names (which sends no module change): the window opens
    // it again if it is closed. Empty: nothing happens.
    std::function<void()> OnSameModuleChosen;

    // Re-reads the library's module list and rebuilds the box. Returns false
    // when QV_ModCount or QV_ModInfo failed (the box then keeps its items);
    // true when refreshed, or skipped because there is no library or the
    // user has the list dropped down. Exceptions of the module change that a
    // rebuild may trigger are not caught here.
    bool RefreshModules(TModIfCpp* library);
    // Fills the box from the entries, selects the remembered module (else the
    // first item), sets the caption, then hands the selection over.
    void RebuildList();
    // Hands the selected item's module (or an empty name with model 'u') to
    // the data model.
    void SelectionChange();
    void AllowSimulationsClick(bool checked);
    // Data model listener: event 0 re-applies the selection, event 14 syncs
    // the check box with the allow-simulations flag.
    void DataChanged(int32_t event, int32_t value, int32_t extra);
    static void listener(void* context, int32_t event, int32_t value, int32_t extra);

    QComboBox* box() const { return m_box; }
    QCheckBox* simCheck() const { return m_simCheck; }
    const std::string& remembered() const { return m_remembered; }
    // The user has the list open: a refresh would pull items from under them.
    bool isDroppedDown() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeControls();
    template <class Handler> void guarded(const char* name, Handler&& handler);

    AnalyserData* const m_data;
    ModuleList m_list;
    QComboBox* const m_box;
    std::string m_remembered;
    QCheckBox* const m_simCheck;
};
