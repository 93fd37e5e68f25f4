#include "panel/portnumbersdialog.h"

#include "link/networkport.h"
#include "link/portmap.h"
#include "panel/messagebox.h"
#include "settings/ini.h"
#include "settings/settings.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

namespace lumavera {

PortNumbersDialog::PortNumbersDialog(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmPorts"));
    // Escape closes a dialog already; Ctrl+W as well.
    connect(new QShortcut(QKeySequence::Close, this), &QShortcut::activated, this,
            &QDialog::reject);
    setWindowTitle(tr("Port Numbers"));
    resize(560, 460);

    lstPorts = new QTableWidget(LastPort, 2, this);
    lstPorts->setObjectName(QStringLiteral("lstPorts"));
    lstPorts->setHorizontalHeaderLabels({tr("Port"), tr("Device")});
    lstPorts->verticalHeader()->hide();
    lstPorts->horizontalHeader()->setStretchLastSection(true);
    lstPorts->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstPorts->setSelectionMode(QAbstractItemView::SingleSelection);
    lstPorts->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstPorts->setAccessibleName(tr("Port numbers"));

    auto *label = new QLabel(tr("&Device:"), this);
    cboDevice = new QComboBox(this);
    cboDevice->setObjectName(QStringLiteral("cboDevice"));
    cboDevice->setEditable(true);
    cboDevice->setInsertPolicy(QComboBox::NoInsert);
    cboDevice->setMinimumContentsLength(32);
    label->setBuddy(cboDevice);
    cmdPin = new QPushButton(tr("&Pin"), this);
    cmdPin->setObjectName(QStringLiteral("cmdPin"));
    cmdUnpin = new QPushButton(tr("&Remove Pin"), this);
    cmdUnpin->setObjectName(QStringLiteral("cmdUnpin"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);

    auto *row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(cboDevice, 1);
    row->addWidget(cmdPin);
    row->addWidget(cmdUnpin);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("A pinned number stays with its device wherever it is plugged "
                                    "in;\nthe other devices take the free numbers."),
                                 this));
    layout->addWidget(lstPorts);
    layout->addLayout(row);
    layout->addWidget(buttons);

    connect(lstPorts, &QTableWidget::itemSelectionChanged, this,
            &PortNumbersDialog::lstPorts_Select);
    connect(cmdPin, &QPushButton::clicked, this, &PortNumbersDialog::pinPort);
    connect(cmdUnpin, &QPushButton::clicked, this, &PortNumbersDialog::unpinPort);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    fill();
    lstPorts->selectRow(0);
}

int PortNumbersDialog::chosenNumber() const
{
    const QList<QTableWidgetItem *> chosen = lstPorts->selectedItems();
    return chosen.isEmpty() ? 0 : chosen.first()->row() + 1;
}

void PortNumbersDialog::fill()
{
    const PortListing listing = ListPorts(SettingsStore(IniPath()).load().pins, false);
    for (int i = 0; i < LastPort; ++i) {
        const PortEntry &e = listing[std::size_t(i)].entry;
        QString text = PortSummary(listing[std::size_t(i)]);
        if (e.pinned)
            text = e.present ? text + tr(" \u2014 pinned")
                             : text.replace(tr(" \u2014 missing"), tr(" \u2014 pinned, missing"));
        lstPorts->setItem(i, 0, new QTableWidgetItem(QStringLiteral("COM%1").arg(i + 1)));
        lstPorts->setItem(i, 1, new QTableWidgetItem(text));
    }
    // What can be pinned: the devices there now, by their stable names
    // where they have one.
    const QString typed = cboDevice->currentText();
    cboDevice->clear();
    for (const QFileInfo &link :
         QDir(StableNamesFolder()).entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        cboDevice->addItem(link.absoluteFilePath());
    for (const QString &path : OrderedPortPaths(SystemPortPaths()))
        cboDevice->addItem(path);
    cboDevice->setEditText(typed);
}

void PortNumbersDialog::lstPorts_Select()
{
    const int number = chosenNumber();
    if (number == 0)
        return;
    cboDevice->setEditText(SettingsStore(IniPath()).load().pins.value(number));
    cmdUnpin->setEnabled(!cboDevice->currentText().isEmpty());
}

void PortNumbersDialog::pinPort()
{
    const int number = chosenNumber();
    const QString path = cboDevice->currentText().trimmed();
    if (number == 0 || path.isEmpty())
        return;
    if (const QString malformed = MalformedNetworkAddress(path); !malformed.isEmpty()) {
        ShowMessage(this, QMessageBox::Warning, malformed + u'.');
        return;
    }
    pinned(number, SettingsStore(IniPath()).pin(number, path));
}

void PortNumbersDialog::pinned(int number, const WriteResult &written)
{
    if (!written.ok()) {
        ShowMessage(this, QMessageBox::Warning,
                    tr("The pin could not be saved: %1.").arg(written.reason));
    }
    fill();
    lstPorts->selectRow(number - 1);
    lstPorts_Select();
}

void PortNumbersDialog::unpinPort()
{
    const int number = chosenNumber();
    if (number == 0)
        return;
    cboDevice->setEditText(QString());
    pinned(number, SettingsStore(IniPath()).pin(number, QString()));
}

} // namespace lumavera
