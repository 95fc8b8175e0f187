// TMainForm: the measurement records (statistics, log, copy) and their menu
// items, added to the menus the window has built.
#include "app/RecordsController.h"
#include "app/vfcmain.h"

#include <QMenu>
#include <QMenuBar>

void TMainForm::createRecords() {
    // The menu bar holds File, Counter and Help, in that order.
    const QList<QAction*> menus = menuBar()->actions();
    m_records = new RecordsController(*this, *menus[0]->menu(), *menus[1]->menu(), *m_grid,
                                      [this] { return m_analyserData.moduleName(); });
}
