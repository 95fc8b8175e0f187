// DeviceProblemsDialog: the list of the server's device problems.
#include "display/DeviceProblemsDialog.h"

#include "counter/QtText.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

DeviceProblemsDialog::DeviceProblemsDialog(QWidget* parent)
    : QDialog(parent), m_summary(new QLabel(this)), m_list(new QListWidget(this)) {
    setWindowTitle(QStringLiteral("Device Problems"));
    setModal(false);
    m_summary->setWordWrap(true);
    m_list->setWordWrap(true);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* column = new QVBoxLayout(this);
    column->addWidget(m_summary);
    column->addWidget(m_list);
    column->addWidget(buttons);
    resize(560, 260);
    setProblems({});
}

void DeviceProblemsDialog::setProblems(const std::vector<std::string>& problems) {
    m_list->clear();
    for (const std::string& line : problems)
        m_list->addItem(toQt(line));
    m_list->setVisible(!problems.empty());
    m_summary->setText(problems.empty()
                           ? QString::fromLatin1(kNoProblems)
                           : QStringLiteral("The server reports %1 device problem%2. A device "
                                            "with a problem is left out or not counting; see "
                                            "Help for the device configuration.")
                                 .arg(problems.size())
                                 .arg(problems.size() == 1 ? "" : "s"));
}

QStringList DeviceProblemsDialog::problems() const {
    QStringList lines;
    for (int i = 0; i < m_list->count(); ++i)
        lines << m_list->item(i)->text();
    return lines;
}

QString DeviceProblemsDialog::summary() const {
    return m_summary->text();
}
