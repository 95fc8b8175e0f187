// TModSelGroup: module selection group of the top panel.
#include "modules/vfcmodsel.h"

#include "TModIfCpp.h"
#include "counter/QtText.h"
#include "modules/vladata.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>
#include <optional>

namespace {

constexpr int kBoxHeight = 21; // pixels
constexpr int kBoxLeft = 16;
constexpr int kItemHeight = 13;
constexpr int kCheckLeft = 2;

// Drop-down rows of a fixed height, so the list looks the same whatever
// style draws it.
class FixedRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(kItemHeight);
        return size;
    }
};

// The module box, marked by a frame in the highlight colour while it has the
// focus: the style draws no focus mark on a box that cannot be typed into.
class ModuleBox : public QComboBox {
public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent* event) override {
        QComboBox::paintEvent(event);
        if (!hasFocus()) return;
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Highlight));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

} // namespace

const char* const TModSelGroup::kHint =
    "Module Select|TT_Module Select: \r\n This selection box shows all the modules detected on the "
    "local or "
    "remote PC. It is updated every 10 seconds.\r\n If there is more than one module you can "
    "select the module to use.\r\n The software contains built-in simulations of various models. "
    "Checking the box adds the simulations to the list of available modules.";

TModSelGroup::TModSelGroup(QWidget* parent, const QString& caption, AnalyserData* data,
                           bool extendedModels)
    : TMyGroup(parent, caption), m_data(data), m_list(extendedModels), m_box(new ModuleBox(this)),
      m_simCheck(new QCheckBox(QStringLiteral("Allow Simulations"), this)) {
    setHint(QString::fromLatin1(kHint));

    // A drop-down list without typing; ModuleList hands the items over in
    // sorted order.
    m_box->setEditable(false);
    m_box->setItemDelegate(new FixedRowDelegate(m_box));
    connect(m_box, &QComboBox::activated, this, [this] {
        guarded("SelectionChange", [this] {
            const std::string before = m_data->moduleName();
            SelectionChange();
            if (OnSameModuleChosen && m_data->moduleName() == before && !before.empty())
                OnSameModuleChosen();
        });
    });

    m_simCheck->setChecked(m_data->allowSimulations());
    connect(m_simCheck, &QCheckBox::clicked, this, [this](bool checked) {
        guarded("AllowSimulationsClick", [this, checked] { AllowSimulationsClick(checked); });
    });

    placeControls();
    m_data->AddListener(&TModSelGroup::listener, this);
}

// The listener stays registered: the main window destroys the data model
// before its child widgets, and the data model sends nothing while it goes.
TModSelGroup::~TModSelGroup() = default;

// A slot must not let an exception into Qt's event loop. What can get this
// far is a library that cannot even say whether a module is open (the
// window's CloseModule) or describe a model (the data model); it goes to the
// window's report, or is dropped when there is none.
template <class Handler> void TModSelGroup::guarded(const char* name, Handler&& handler) {
    try {
        handler();
    } catch (...) {
        if (OnHandlerFailure) OnHandlerFailure(name, std::current_exception());
    }
}

void TModSelGroup::placeControls() {
    const int h = height();
    const int w = width();
    m_box->setGeometry(kBoxLeft, (h - kBoxHeight) / 2, w - 2 * kBoxLeft, kBoxHeight);
    // The check box keeps clear of the group's frame: its margin counts from
    // the inside of the frame.
    const QRect inside = contentsRect();
    const int checkHeight = h / 3 - 2;
    const int checkTop = std::min(h - checkHeight - 2, inside.bottom() + 1 - checkHeight);
    m_simCheck->setGeometry(inside.left() + kCheckLeft, checkTop, inside.width() - 2 * kCheckLeft,
                            checkHeight);
}

void TModSelGroup::resizeEvent(QResizeEvent* event) {
    TMyGroup::resizeEvent(event);
    placeControls();
}

bool TModSelGroup::isDroppedDown() const {
    return m_box->view()->isVisible();
}

bool TModSelGroup::RefreshModules(TModIfCpp* library) {
    if (!library) return true;
    if (isDroppedDown()) return true;
    const std::string current = m_data->moduleName();
    m_remembered = current;
    try {
        m_list.read(library->handle(), current, m_data->allowSimulations());
    } catch (const TModIfError&) {
        // The box keeps the previous items; SelectionChange resolves any that
        // lost their entry to an empty selection.
        return false;
    }
    RebuildList();
    return true;
}

void TModSelGroup::RebuildList() {
    const ModuleListView view = m_list.view(m_remembered);
    m_box->clear();
    for (const ModuleItem& item : view.items)
        m_box->addItem(toQt(item.text), QVariant::fromValue<qulonglong>(item.entry));
    m_box->setCurrentIndex(view.selected);
    setTitle(toQt(view.caption));
    SelectionChange();
}

void TModSelGroup::SelectionChange() {
    std::optional<std::size_t> entry;
    std::string text;
    const int index = m_box->currentIndex();
    if (index >= 0) {
        bool ok = false;
        const qulonglong value = m_box->itemData(index).toULongLong(&ok);
        if (ok) entry = static_cast<std::size_t>(value);
        text = fromQt(m_box->itemText(index));
    }
    const ModuleEntry chosen = m_list.resolve(entry, text);
    m_data->SelectModule(chosen.name, chosen.name.empty() ? 'u' : chosen.modelCode);
}

void TModSelGroup::AllowSimulationsClick(bool checked) {
    m_data->SetAllowSimulations(checked);
}

void TModSelGroup::DataChanged(int32_t event, int32_t value, int32_t) {
    if (event == AnalyserEvent::ModuleChanged) {
        SelectionChange();
    } else if (event == AnalyserEvent::AllowSimulations) {
        const bool allowed = value != 0;
        if (m_simCheck->isChecked() != allowed) m_simCheck->setChecked(allowed);
    }
}

void TModSelGroup::listener(void* context, int32_t event, int32_t value, int32_t extra) {
    static_cast<TModSelGroup*>(context)->DataChanged(event, value, extra);
}
