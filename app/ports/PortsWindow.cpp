// The window "Порты".
#include "ports/PortsWindow.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace pondus::ports {
namespace {

enum Column { DeviceColumn, StableNameColumn, VendorColumn, ProductColumn, SerialColumn, PortColumn, Columns };

QTableWidgetItem *cell(const QString &text, const QString &tip = {})
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setToolTip(tip.isEmpty() ? text : tip);
    return item;
}

bool sameDevice(const QString &a, const SerialDeviceEntry &device)
{
    return !a.isEmpty() && (a == device.systemPath || a == device.stableName ||
                            QFileInfo(a).canonicalFilePath() == device.systemPath);
}

// Calls `changed` for as long as `owner` lives once the changes in the
// folders have settled. Folders that may not exist yet are watched once
// they appear.
void watchDevices(const QStringList &folders, QObject *owner, const std::function<void()> &changed)
{
    auto *watcher = new QFileSystemWatcher(owner);
    auto *settle = new QTimer(owner);
    settle->setSingleShot(true);
    settle->setInterval(deviceSettleMs);
    QObject::connect(settle, &QTimer::timeout, owner, changed);
    const auto watchWhatExists = [watcher, folders] {
        const QStringList watched = watcher->directories();
        for (const QString &folder : folders)
            if (!watched.contains(folder) && QFileInfo(folder).isDir())
                watcher->addPath(folder);
    };
    QObject::connect(watcher, &QFileSystemWatcher::directoryChanged, owner, [watchWhatExists, settle] {
        // /dev/serial/by-id comes and goes with the first and last adapter.
        watchWhatExists();
        settle->start();
    });
    watchWhatExists();
}

} // namespace

QStringList defaultDeviceFolders()
{
    return {QStringLiteral("/dev"), QStringLiteral("/dev/serial"), QStringLiteral("/dev/serial/by-id")};
}

PortsWindow::PortsWindow(const PortMapping &initial, bool libraryTakesMapping, Lister lister,
                         QStringList watchedFolders, QWidget *parent)
    : QDialog(parent), shown_(initial), libraryTakesMapping_(libraryTakesMapping), lister_(std::move(lister))
{
    setObjectName(QStringLiteral("PortsWindow"));
    setWindowTitle(QStringLiteral("Порты"));

    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("DeviceCount"));
    table_ = new QTableWidget(0, Columns, this);
    table_->setObjectName(QStringLiteral("DeviceTable"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Устройство"), QStringLiteral("Постоянное имя (by-id)"),
                                       QStringLiteral("Производитель"), QStringLiteral("Изделие"),
                                       QStringLiteral("Серийный номер"), QStringLiteral("Порт")});
    table_->verticalHeader()->setVisible(false);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setSectionResizeMode(StableNameColumn, QHeaderView::Stretch);
    table_->setMinimumSize(760, 160);

    auto *assignment = new QGroupBox(QStringLiteral("Какое устройство означает порт"), this);
    // The fields sit in a part of their own: assistive technology labels a
    // field by the group's title when the group is its parent, which would
    // name all four alike; each is labelled by its port instead.
    auto *fields = new QWidget(assignment);
    (new QVBoxLayout(assignment))->addWidget(fields);
    auto *grid = new QGridLayout(fields);
    grid->setContentsMargins(0, 0, 0, 0);
    for (int port = 1; port <= portCount; ++port) {
        auto *choice = new QComboBox(fields);
        choice->setObjectName(QStringLiteral("Port") + portName(port));
        choice->setEditable(true);
        choice->setInsertPolicy(QComboBox::NoInsert);
        choice->setMinimumContentsLength(48);
        choice->lineEdit()->setPlaceholderText(QStringLiteral("не назначен"));
        auto *note = new QLabel(fields);
        note->setObjectName(QStringLiteral("Note") + portName(port));
        note->setWordWrap(true);
        // Named after its port, as a whole and as the text field inside it.
        choice->setAccessibleName(portName(port));
        choice->lineEdit()->setAccessibleName(portName(port));
        auto *caption = new QLabel(portName(port), fields);
        caption->setBuddy(choice);
        grid->addWidget(caption, 2 * (port - 1), 0);
        grid->addWidget(choice, 2 * (port - 1), 1);
        grid->addWidget(note, 2 * (port - 1) + 1, 1);
        choices_[size_t(port - 1)] = choice;
        notes_[size_t(port - 1)] = note;
    }
    grid->setColumnStretch(1, 1);

    auto *hint = new QLabel(
        QStringLiteral("Постоянное имя из /dev/serial/by-id не меняется, когда адаптер включают в другое "
                       "гнездо USB; оно и сохраняется, если есть. Переменная окружения TRUTINA_COMn, "
                       "если задана, важнее назначения."),
        this);
    hint->setWordWrap(true);
    auto *libraryNote = new QLabel(
        QStringLiteral("Библиотека TRUTINA этой версии не принимает назначения: порты открываются по "
                       "переменным TRUTINA_COMn или как /dev/ttyS0…/dev/ttyS3."),
        this);
    libraryNote->setObjectName(QStringLiteral("LibraryNote"));
    libraryNote->setWordWrap(true);
    libraryNote->setVisible(!libraryTakesMapping_);

    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("Сохранить"), QDialogButtonBox::AcceptRole)->setObjectName(QStringLiteral("SaveButton"));
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *column = new QVBoxLayout(this);
    column->addWidget(count_);
    column->addWidget(table_, 1);
    column->addWidget(assignment);
    column->addWidget(hint);
    column->addWidget(libraryNote);
    column->addWidget(buttons);

    for (QComboBox *choice : choices_)
        connect(choice, &QComboBox::editTextChanged, this, [this] {
            shown_ = this->mapping();
            showResolution();
        });

    refresh();
    if (!watchedFolders.isEmpty())
        watchDevices(watchedFolders, this, [this] { refresh(); });
}

PortMapping PortsWindow::mapping() const
{
    PortMapping mapping;
    for (int port = 1; port <= portCount; ++port)
        mapping.devices[size_t(port - 1)] = choices_[size_t(port - 1)]->currentText().trimmed();
    return mapping;
}

void PortsWindow::refresh()
{
    devices_ = lister_();
    showChoices();
    showDevices();
    showResolution();
}

void PortsWindow::showChoices()
{
    for (int port = 1; port <= portCount; ++port) {
        QComboBox *choice = choices_[size_t(port - 1)];
        const QSignalBlocker quiet(choice);
        choice->clear();
        choice->addItem(QString());
        for (const SerialDeviceEntry &device : devices_)
            choice->addItem(device.preferredPath());
        // Kept as chosen, also when the device is not plugged in now.
        const int entry = choice->findText(shown_.device(port));
        if (entry >= 0)
            choice->setCurrentIndex(entry);
        choice->setEditText(shown_.device(port));
    }
}

void PortsWindow::showDevices()
{
    count_->setText(devices_.isEmpty() ? QStringLiteral("Последовательных портов не найдено.")
                                       : QStringLiteral("Последовательные порты: %1").arg(devices_.size()));
    table_->setRowCount(int(devices_.size()));
    for (int row = 0; row < devices_.size(); ++row) {
        const SerialDeviceEntry &device = devices_[row];
        table_->setItem(row, DeviceColumn, cell(device.systemPath));
        table_->setItem(row, StableNameColumn, cell(QFileInfo(device.stableName).fileName(), device.stableName));
        table_->setItem(row, VendorColumn, cell(device.vendor));
        table_->setItem(row, ProductColumn, cell(device.product));
        table_->setItem(row, SerialColumn, cell(device.serialNumber));
    }
    // Every column but the stretching one as wide as its widest text or its
    // title, whichever is wider.
    for (const int column : {DeviceColumn, VendorColumn, ProductColumn, SerialColumn, PortColumn})
        table_->resizeColumnToContents(column);
}

void PortsWindow::showResolution()
{
    for (int row = 0; row < devices_.size(); ++row) {
        QStringList ports;
        for (int port = 1; port <= portCount; ++port)
            if (sameDevice(resolvePort(port, shown_, libraryTakesMapping_).path, devices_[row]))
                ports.append(portName(port));
        table_->setItem(row, PortColumn, cell(ports.join(QStringLiteral(", "))));
    }
    table_->resizeColumnToContents(PortColumn);
    for (int port = 1; port <= portCount; ++port) {
        const ResolvedPort resolved = resolvePort(port, shown_, libraryTakesMapping_);
        QString note;
        const bool present = devicePresent(resolved.path);
        switch (resolved.source) {
        case DeviceSource::Environment:
            note = QStringLiteral("Открывается %1%2: так задаёт переменная %3, она важнее назначения.")
                       .arg(resolved.path, present ? QString() : QStringLiteral(" (") + missingDeviceText + u')',
                            environmentVariable(port));
            break;
        case DeviceSource::Mapping:
            note = present ? QStringLiteral("Открывается %1.").arg(resolved.path)
                           : QStringLiteral("Открывается %1 (сейчас не подключено).").arg(resolved.path);
            break;
        case DeviceSource::Default:
            note = present ? QStringLiteral("Не назначен: открывается %1.").arg(resolved.path)
                           : QStringLiteral("Не назначен: открывается %1 (%2).").arg(resolved.path, missingDeviceText);
            break;
        }
        QLabel *shown = notes_[size_t(port - 1)];
        shown->setText(note);
        // A port whose device is not there stands out.
        shown->setStyleSheet(present ? QString() : QStringLiteral("color: #b00000"));
    }
}

} // namespace pondus::ports
