#include "mainform/Serialer.h"

#include "settings/IniSettings.h"
#include "export/ExportDialog.h"
#include "mainform/ChartAxes.h"
#include "mainform/ChartZoom.h"
#include "mainform/HelpViewer.h"
#include "mainform/WindowPublishing.h"
#include "mainform/WindowSamples.h"
#include "recording/MeasurementColumns.h"
#include "recording/RunChoices.h"
#include "ports/MainFormPorts.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTimer>
#include <QUrl>

namespace {

const QString settingsFileName = QStringLiteral("PONDUS.ini");
const QString settingsSection = QStringLiteral("MainForm");
const QString cannotOpenSettings = QStringLiteral("Файл не удаётся открыть!");

QByteArray balanceKey(int item)
{
    return QByteArray("FCLB(") + QByteArray::number(item) + ')';
}

// The program's icon in the notification area: tooltip "PONDUS", a menu
// with "Закрыть", and a double click that brings the main window back.
// Parented to window; shown only where the desktop has a notification area.
void addTrayIcon(const QIcon &icon, QMenu *menu, QWidget *window)
{
    auto *tray = new QSystemTrayIcon(icon, window);
    tray->setToolTip(QStringLiteral("PONDUS"));
    tray->setContextMenu(menu);
    QObject::connect(tray, &QSystemTrayIcon::activated, tray, [window](QSystemTrayIcon::ActivationReason reason) {
        if (reason != QSystemTrayIcon::DoubleClick)
            return;
        window->setEnabled(true);
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->show();
        window->raise();
        window->activateWindow();
    });
    if (QSystemTrayIcon::isSystemTrayAvailable())
        tray->show();
}

} // namespace

TMainForm::TMainForm(ReadingSource &source, QWidget *parent)
    : QMainWindow(parent), source_(source), session_(source)
{
    setObjectName(QStringLiteral("MainForm"));
    const QIcon icon(QStringLiteral(":/pondus.png"));
    setWindowIcon(icon);
    inform_ = [this](const QString &text) {
        QMessageBox::information(this, QStringLiteral("PONDUS"), text);
    };
    reportError_ = [this](const QString &text) {
        QMessageBox::critical(this, QStringLiteral("PONDUS"), text);
    };
    beep_ = [] { QApplication::beep(); };
    chooseSaveFile_ = [this] { return askExportTarget(this, settingsPath_); };
    openDocument_ = [](const QUrl &url) { return QDesktopServices::openUrl(url); };

    ui_.setupUi(this);
    ports_ = new pondus::ports::MainFormPorts(source_, ui_.PortDevice, ui_.PortReason, this);
    addTrayIcon(icon, ui_.PopupMenu1, this);
    table_ = new MeasurementTable(format_, this);
    ui_.StrGrid1->setModel(table_);
    // A new weight is told by the grid's last row, which the operator may
    // have edited.
    session_.addObserver(*this);
    session_.setPreviousValue([this](size_t slot) {
        return table_->cellNumber(currentRow() - 1, MeasurementColumns::valueColumn(int(slot)));
    });
    const QDateTime now = QDateTime::currentDateTime();
    ui_.applyColumnWidths(format_.time(now), format_.date(now));

    connectControls();
    FormCreate();
    new WindowSamples(*this); // owned by the window
}

void TMainForm::FormCreate()
{
    ui_.DateTimePicker1->setDateTime(QDateTime::currentDateTime());
    ui_.FileCheckListBox->item(0)->setCheckState(Qt::Checked);
    // Fixed now: a later change of the current directory (the save dialog
    // changes it) does not move the settings file.
    settingsPath_ = QDir::current().absoluteFilePath(settingsFileName);
    readSettings();
    ports_->load(settingsPath_);
    ports_->showDeviceFor(choosePort(ui_.ComCB->currentText()).port);
    colourMaxDif();
}

void TMainForm::connectControls()
{
    connect(ui_.Timer2, &QTimer::timeout, this, &TMainForm::Timer2Timer);
    new ChartZoom(ui_.Chart1, [this] { fitAxesToSeries(ui_.Series, *ui_.AxisX, *ui_.AxisY); });
    connect(ui_.ReadButton, &QPushButton::clicked, this, &TMainForm::Timer2Timer);
    connect(ui_.WeightButton, &QPushButton::clicked, this, &TMainForm::WeightButtonClick);
    connect(ui_.StopButton, &QPushButton::clicked, this, &TMainForm::StopButtonClick);
    connect(ui_.ApplyButton1, &QPushButton::clicked, this, &TMainForm::ApplyButton1Click);
    connect(ui_.ClearButton, &QPushButton::clicked, this, &TMainForm::ClearButtonClick);
    // Only the operator's changes count: the settings file's period, shown at
    // start-up, leaves the threshold field as the file has it.
    connect(ui_.ComboBox1, &QComboBox::textActivated, this, &TMainForm::ComboBox1Change);
    connect(ui_.ComboBox1->lineEdit(), &QLineEdit::textEdited, this, &TMainForm::ComboBox1Change);
    // A click, or a move through the list by keyboard.
    connect(ui_.FileCheckListBox, &QListWidget::itemClicked, this, &TMainForm::FileCheckListBoxClick);
    connect(ui_.FileCheckListBox, &QListWidget::currentRowChanged, this, &TMainForm::FileCheckListBoxClick);
    connect(ui_.Timer5, &QTimer::timeout, this, &TMainForm::Timer5Timer);
    connect(ui_.ComCB, &QComboBox::currentTextChanged, this,
            [this](const QString &text) { ports_->showDeviceFor(choosePort(text).port); });
    connect(ui_.PortsMenuItem, &QAction::triggered, ports_, &pondus::ports::MainFormPorts::openPortsWindow);
    connect(ui_.N1, &QAction::triggered, this, &TMainForm::N1Click);
    connect(ui_.N2, &QAction::triggered, this, &TMainForm::N2Click);
    filterKeys();
}

TMainForm::~TMainForm()
{
    FormDestroy();
    // Children that observe the session leave it before it goes with the
    // window's members.
    qDeleteAll(findChildren<WindowPublishing *>(Qt::FindDirectChildrenOnly));
    qDeleteAll(findChildren<WindowSamples *>(Qt::FindDirectChildrenOnly));
}

void TMainForm::FormDestroy()
{
    // A run still polling ends with the window, and its listeners hear so.
    session_.stop();
    writeSettings();
}

void TMainForm::N1Click()
{
    // Looked up at the moment of the click, as the current folder moves.
    const QStringList folders = helpFolders();
    const QString help = findHelpFile(folders);
    if (help.isEmpty()) {
        inform_(QStringLiteral("Файл справки %1 не найден (искали в: %2).")
                    .arg(helpFileName, folders.join(QStringLiteral("; "))));
        return;
    }
    if (openDocument_(QUrl::fromLocalFile(help)))
        return;
    // No program on the desktop opens it: the window's own viewer does, one
    // for the window's life, hidden when closed.
    auto *viewer = findChild<HelpViewer *>(QString(), Qt::FindDirectChildrenOnly);
    if (!viewer)
        viewer = new HelpViewer(this);
    if (const auto failure = viewer->showFile(help)) {
        viewer->hide();
        inform_(QStringLiteral("Файл справки %1 не удаётся прочитать: %2").arg(QDir::toNativeSeparators(help), *failure));
    }
}

void TMainForm::N2Click()
{
    QCoreApplication::quit();
}

void TMainForm::readSettings()
{
    IniSettings settings(settingsSection);
    if (!settings.load(settingsPath_)) {
        // Not a settings file, or not readable: it stays as it is, also at
        // exit, and the window starts as without one. Told once, over the
        // window.
        settingsUnusable_ = true;
        QTimer::singleShot(0, this, [this] { inform_(cannotOpenSettings); });
        return;
    }
    if (!QFileInfo::exists(settingsPath_))
        return;
    MainFormLayout::showText(ui_.ComboBox1, settings.text("GetInfPeriod", QStringLiteral("1")));
    MainFormLayout::showText(ui_.ComCB, settings.text("COM", QStringLiteral("COM1")));
    ui_.MaxDif->setText(settings.text("MaxDifWeight", QStringLiteral("10")));
    ui_.MDLabel->setEnabled(settings.flag("MDLabelEnabled", false));
    ui_.MaxDif->setEnabled(settings.flag("MaxDifWeightEnabled", false));
    for (int item = 0; item < RunState::balances; ++item) {
        const bool checked = settings.flag(balanceKey(item).constData(), true);
        ui_.FileCheckListBox->item(item)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    }
    ui_.SizeEdit->setText(settings.text("SizeOfMassive", QStringLiteral("100")));
}

void TMainForm::writeSettings()
{
    if (settingsUnusable_)
        return;
    // Read again, so that what others wrote into the file meanwhile stays;
    // a file that has stopped being settings since the start stays too.
    IniSettings settings(settingsSection);
    if (!settings.load(settingsPath_)) {
        inform_(cannotOpenSettings);
        return;
    }
    settings.setText("GetInfPeriod", ui_.ComboBox1->currentText());
    settings.setText("COM", ui_.ComCB->currentText());
    settings.setFlag("MDLabelEnabled", ui_.MDLabel->isEnabled());
    settings.setText("MaxDifWeight", ui_.MaxDif->text());
    for (int item = 0; item < RunState::balances; ++item)
        settings.setFlag(balanceKey(item).constData(), isChecked(item));
    settings.setText("SizeOfMassive", ui_.SizeEdit->text());
    settings.setFlag("MaxDifWeightEnabled", ui_.MaxDif->isEnabled());
    if (!settings.save(settingsPath_))
        inform_(cannotOpenSettings);
}

void TMainForm::colourMaxDif()
{
    // Both looks at once, so that the field looks as it is whoever enables
    // or disables it: white with black text to type in, face-coloured with
    // grey text when it takes nothing.
    QPalette colours = ui_.MaxDif->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        colours.setColor(group, QPalette::Base, palette().color(QPalette::Active, QPalette::Base));
        colours.setColor(group, QPalette::Text, Qt::black);
    }
    colours.setColor(QPalette::Disabled, QPalette::Base, palette().color(QPalette::Active, QPalette::Button));
    colours.setColor(QPalette::Disabled, QPalette::Text, QColor(128, 128, 128));
    ui_.MaxDif->setPalette(colours);
}

void TMainForm::setSettingsEnabled(bool enabled)
{
    for (QWidget *control : QList<QWidget *>{ui_.Label5, ui_.FileCheckListBox, ui_.ComCB, ui_.Label4, ui_.Label3,
                                             ui_.ComboBox1, ui_.Label7, ui_.Label8, ui_.SizeEdit})
        control->setEnabled(enabled);
}

void TMainForm::showIdleControls()
{
    ui_.Timer2->stop();
    session_.stop();
    ui_.StopButton->setVisible(false);
    ui_.WeightButton->setVisible(true);
    ui_.ReadButton->setEnabled(false);
    setSettingsEnabled(true);
    ui_.ApplyButton1->setEnabled(true);
    ui_.ClearButton->setEnabled(true);
}

bool TMainForm::isChecked(int item) const
{
    return ui_.FileCheckListBox->item(item)->checkState() == Qt::Checked;
}

void TMainForm::settingsConfirmed(const QString &section, const std::vector<ChangedSetting> &changes)
{
    if (!changes.empty())
        emit settingsChanged(section, changes);
}
