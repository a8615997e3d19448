#include "MainFormLayout.h"

#include "mainform/ChartAxes.h"
#include "recording/BalanceColours.h"
#include "recording/MeasurementColumns.h"

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QLegendMarker>
#include <QPen>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int pollInterval = 200;
constexpr int gridDefaultColumnWidth = 50;
constexpr int gridRowHeight = 16;
constexpr qreal seriesPenWidth = 2.5;
constexpr std::array<int, 23> gridColumnWidths = {23, 44, 59, 50, 18, 51, 18, 50, 17, 51, 17, 52,
                                                  18, 49, 16, 50, 15, 48, 16, 47, 17, 50, 19};

template <class Widget>
Widget *named(Widget *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QFrame *panel(QWidget *parent, const char *name)
{
    auto *frame = named(new QFrame(parent), name);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Raised);
    return frame;
}

QLabel *label(QWidget *parent, const char *name, const QString &text)
{
    return named(new QLabel(text, parent), name);
}

QPushButton *button(QWidget *parent, const char *name, const QString &text)
{
    return named(new QPushButton(text, parent), name);
}

QComboBox *selector(QWidget *parent, const char *name, const QStringList &items, int shown)
{
    auto *box = named(new QComboBox(parent), name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    // What the operator types stays as typed: no completion from the list.
    box->setCompleter(nullptr);
    box->addItems(items);
    box->setMaxVisibleItems(shown);
    box->setMinimumWidth(81);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(6);
    return box;
}

QTimer *timer(QObject *parent, const char *name, int interval)
{
    auto *t = named(new QTimer(parent), name);
    t->setInterval(interval);
    return t;
}

} // namespace

void MainFormLayout::setupUi(QMainWindow *form)
{
    form->resize(752, 462);
    form->setWindowTitle(QStringLiteral(
        "Gravimo.exe - ОКБ Тарвис. Аналитические, лабораторные весы. Прикладные программы."));

    auto *Panel2 = named(new QFrame(form), "Panel2");
    form->setCentralWidget(Panel2);

    // Port, period and change threshold.
    auto *Panel4 = panel(Panel2, "Panel4");
    Label4 = label(Panel4, "Label4", QStringLiteral("Порт связи"));
    Label3 = label(Panel4, "Label3", QStringLiteral("Периодичность, с:"));
    Label3->setToolTip(QStringLiteral("Периодчиность плучения информации"));
    MDLabel = label(Panel4, "MDLabel", QStringLiteral("Изменение (дискрет)"));
    MDLabel->setToolTip(QStringLiteral("При изменении веса более чем, дискрет"));
    MDLabel->setEnabled(false);
    ComCB = selector(Panel4, "ComCB", {"COM1", "COM2", "COM3", "COM4", "AUTO"}, 8);
    showText(ComCB, QStringLiteral("COM1"));
    ComboBox1 = selector(Panel4, "ComboBox1",
                         {"0,2", "0,4", "0,6", "0,8", "1", "2", "3", "4", "вручную", "при новом весе"}, 11);
    showText(ComboBox1, QStringLiteral("1"));
    // Wide enough for "при новом весе" whole.
    ComboBox1->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    MaxDif = named(new QLineEdit(QStringLiteral("10"), Panel4), "MaxDif");
    MaxDif->setEnabled(false);
    MaxDif->setMaximumWidth(59);
    PortDevice = label(Panel4, "PortDevice", QString());
    PortDevice->setForegroundRole(QPalette::PlaceholderText);
    auto *portGrid = new QGridLayout(Panel4);
    portGrid->addWidget(Label4, 0, 0);
    portGrid->addWidget(ComCB, 0, 1);
    portGrid->addWidget(PortDevice, 1, 0, 1, 2, Qt::AlignRight);
    portGrid->addWidget(Label3, 2, 0);
    portGrid->addWidget(ComboBox1, 2, 1);
    portGrid->addWidget(MDLabel, 3, 0);
    Label4->setBuddy(ComCB);
    Label3->setBuddy(ComboBox1);
    MDLabel->setBuddy(MaxDif);
    portGrid->addWidget(MaxDif, 3, 1, Qt::AlignRight);

    // Number of measurements the chart shows.
    auto *Panel7 = panel(Panel2, "Panel7");
    Label7 = label(Panel7, "Label7", QStringLiteral("Кол-во обрабатываемых"));
    Label8 = label(Panel7, "Label8", QStringLiteral("измерений"));
    SizeEdit = named(new QLineEdit(QStringLiteral("20"), Panel7), "SizeEdit");
    SizeEdit->setMaximumWidth(40);
    auto *sizeGrid = new QGridLayout(Panel7);
    sizeGrid->addWidget(Label7, 0, 0);
    sizeGrid->addWidget(Label8, 1, 0, Qt::AlignRight);
    sizeGrid->addWidget(SizeEdit, 0, 1, 2, 1, Qt::AlignVCenter);
    Label7->setBuddy(SizeEdit);

    // The balances to poll.
    auto *Panel8 = panel(Panel2, "Panel8");
    Label5 = label(Panel8, "Label5", QStringLiteral("Опрашиваемые весы:"));
    FileCheckListBox = named(new QListWidget(Panel8), "FileCheckListBox");
    FileCheckListBox->setFrameShape(QFrame::NoFrame);
    QPalette listPalette = FileCheckListBox->palette();
    listPalette.setColor(QPalette::Base, listPalette.color(QPalette::Button));
    FileCheckListBox->setPalette(listPalette);
    for (int j = 1; j <= balances; ++j) {
        auto *item = new QListWidgetItem(QStringLiteral("весы №%1").arg(j), FileCheckListBox);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(Qt::Unchecked);
    }
    // A current item from the start, so that focusing the list by keyboard
    // does not count as a move through it.
    FileCheckListBox->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    // All ten balances in view without scrolling.
    FileCheckListBox->setMinimumHeight(balances * FileCheckListBox->sizeHintForRow(0) + 4);
    auto *listColumn = new QVBoxLayout(Panel8);
    listColumn->addWidget(Label5);
    listColumn->addWidget(FileCheckListBox, 1);
    Label5->setBuddy(FileCheckListBox);

    // Port in use and link state.
    auto *Panel6 = panel(Panel2, "Panel6");
    auto *Label10 = label(Panel6, "Label10", QStringLiteral("Порт:"));
    Label12 = label(Panel6, "Label12", QString());
    auto *Label2 = label(Panel6, "Label2", QStringLiteral("Связь: "));
    Label6 = label(Panel6, "Label6", QString());
    auto *linkGrid = new QGridLayout(Panel6);
    linkGrid->addWidget(Label10, 0, 0);
    linkGrid->addWidget(Label12, 0, 1);
    linkGrid->addWidget(Label2, 1, 0);
    linkGrid->addWidget(Label6, 1, 1);
    linkGrid->setColumnStretch(1, 1);

    // Commands; "Начать" and "Прервать" share one place.
    auto *Panel11 = panel(Panel2, "Panel11");
    // Alt and the underlined letter press a button.
    WeightButton = button(Panel11, "WeightButton", QStringLiteral("&Начать"));
    StopButton = button(Panel11, "StopButton", QStringLiteral("&Прервать"));
    StopButton->setVisible(false);
    ReadButton = button(Panel11, "ReadButton", QStringLiteral("&Взвесить"));
    ReadButton->setEnabled(false);
    ApplyButton1 = button(Panel11, "ApplyButton1", QStringLiteral("&Сохранить в файл"));
    ClearButton = button(Panel11, "ClearButton", QStringLiteral("&Очистить окно"));
    auto *commandGrid = new QGridLayout(Panel11);
    commandGrid->addWidget(WeightButton, 0, 0);
    commandGrid->addWidget(StopButton, 0, 0);
    commandGrid->addWidget(ReadButton, 1, 0);
    commandGrid->addWidget(ApplyButton1, 2, 0);
    commandGrid->addWidget(ClearButton, 3, 0);

    // The measurement table.
    auto *Panel9 = panel(Panel2, "Panel9");
    StrGrid1 = named(new StringGridView(Panel9), "StrGrid1");
    StrGrid1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    StrGrid1->setSelectionBehavior(QAbstractItemView::SelectItems);
    StrGrid1->setEditTriggers(QAbstractItemView::AllEditTriggers);
    StrGrid1->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    StrGrid1->setShowGrid(true);
    StrGrid1->setWordWrap(false);
    StrGrid1->verticalHeader()->setVisible(false);
    StrGrid1->verticalHeader()->setMinimumSectionSize(gridRowHeight);
    StrGrid1->verticalHeader()->setDefaultSectionSize(
        std::max(gridRowHeight, StrGrid1->fontMetrics().height() + 4));
    StrGrid1->horizontalHeader()->setDefaultSectionSize(gridDefaultColumnWidth);
    StrGrid1->horizontalHeader()->setMinimumSectionSize(8);
    auto *gridBox = new QVBoxLayout(Panel9);
    gridBox->setContentsMargins(1, 1, 1, 1);
    gridBox->addWidget(StrGrid1);

    // The chart of the latest measurements.
    auto *Panel13 = panel(Panel2, "Panel13");
    auto *chart = new QChart();
    chart->setMargins(QMargins(0, 0, 5, 0));
    chart->setBackgroundRoundness(0);
    chart->setLocalizeNumbers(true);
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->legend()->setMarkerShape(QLegend::MarkerShapeRectangle);
    AxisX = named(new QValueAxis(chart), "AxisX");
    AxisY = named(new QValueAxis(chart), "AxisY");
    showEmptyAxes(*AxisX, *AxisY);
    chart->addAxis(AxisX, Qt::AlignBottom);
    chart->addAxis(AxisY, Qt::AlignLeft);
    for (int j = 0; j < balances; ++j) {
        auto *series = new QLineSeries(chart);
        series->setObjectName(QStringLiteral("Series%1").arg(j + 1));
        series->setName(QStringLiteral("  "));
        // Wide enough for the light colours to show on white.
        series->setPen(QPen(QColor(QRgb(balanceColours[size_t(j)])), seriesPenWidth));
        series->setPointsVisible(false);
        series->setPointLabelsVisible(false);
        chart->addSeries(series);
        series->attachAxis(AxisX);
        series->attachAxis(AxisY);
        Series[size_t(j)] = series;
        // The legend lists only the balances that have points.
        QLegendMarker *marker = chart->legend()->markers(series).value(0);
        const auto showMarker = [series, marker] { marker->setVisible(series->count() > 0); };
        QObject::connect(series, &QXYSeries::pointAdded, marker, showMarker);
        QObject::connect(series, &QXYSeries::pointsReplaced, marker, showMarker);
        QObject::connect(series, &QXYSeries::pointsRemoved, marker, showMarker);
        showMarker();
    }
    Chart1 = named(new QChartView(chart, Panel13), "Chart1");
    Chart1->setRubberBand(QChartView::RectangleRubberBand);
    auto *chartBox = new QVBoxLayout(Panel13);
    chartBox->setContentsMargins(0, 0, 0, 0);
    chartBox->addWidget(Chart1);

    // Parts the operator never sees: the export buffer, the clock of the
    // latest start and the spare caption panel.
    Memo2 = named(new QPlainTextEdit(Panel2), "Memo2");
    Memo2->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo2->setTabChangesFocus(false);
    Memo2->setVisible(false);
    DateTimePicker1 = named(new QDateTimeEdit(Panel2), "DateTimePicker1");
    DateTimePicker1->setEnabled(false);
    DateTimePicker1->setVisible(false);
    auto *Panel12 = panel(Panel2, "Panel12");
    label(Panel12, "BModel", QStringLiteral("Модель"));
    label(Panel12, "Label17", QStringLiteral("Номер"));
    Panel12->setVisible(false);

    auto *settingsColumn = new QVBoxLayout();
    settingsColumn->setSpacing(0);
    for (QFrame *part : {Panel4, Panel7, Panel8, Panel6, Panel11})
        settingsColumn->addWidget(part);
    settingsColumn->setStretchFactor(Panel8, 1);
    auto *readings = named(new QSplitter(Qt::Vertical, Panel2), "ReadingsSplitter");
    readings->addWidget(Panel9);
    readings->addWidget(Panel13);
    // A larger window shows more rows as well as a larger chart.
    readings->setStretchFactor(0, 1);
    readings->setStretchFactor(1, 2);
    readings->setHandleWidth(6);
    readings->setChildrenCollapsible(false);
    QSplitterHandle *grip = readings->handle(1);
    grip->setAutoFillBackground(true);
    QPalette gripColours = grip->palette();
    gripColours.setColor(QPalette::Window, gripColours.color(QPalette::Mid));
    grip->setPalette(gripColours);
    // The table shows its captions and four measurements, the chart the rest.
    readings->setSizes({StrGrid1->verticalHeader()->defaultSectionSize() * 8 + 6, 276});
    // The reason a port does not come on line, under the chart: it takes
    // its lines from the chart, and the window keeps its size.
    PortReason = label(Panel2, "PortReason", QString());
    PortReason->setWordWrap(true);
    PortReason->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    PortReason->setTextInteractionFlags(Qt::TextSelectableByMouse);
    PortReason->setStyleSheet(QStringLiteral("color: #b00000"));
    PortReason->setContentsMargins(4, 2, 4, 2);
    PortReason->setVisible(false);
    auto *readingsColumn = new QVBoxLayout();
    readingsColumn->setSpacing(0);
    readingsColumn->addWidget(readings, 1);
    readingsColumn->addWidget(PortReason);
    auto *window = new QHBoxLayout(Panel2);
    window->setContentsMargins(0, 0, 0, 0);
    window->setSpacing(0);
    window->addLayout(settingsColumn);
    window->addLayout(readingsColumn, 1);

    timer(form, "Timer1", 1000);
    Timer2 = timer(form, "Timer2", pollInterval);
    Timer5 = timer(form, "Timer5", pollInterval);

    form->statusBar()->setSizeGripEnabled(false);
    // Qt names the status bar after its message but does not say when the
    // message changes; a screen reader is told here.
    QStatusBar *status = form->statusBar();
    QObject::connect(status, &QStatusBar::messageChanged, status, [status] {
        QAccessibleEvent changed(status, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&changed);
    });

    form->menuBar()->setObjectName(QStringLiteral("MainMenu1"));
    PortsMenuItem = named(form->menuBar()->addAction(QStringLiteral("Порты…")), "PortsMenuItem");
    N1 = named(form->menuBar()->addAction(QStringLiteral("Справка")), "N1");
    PopupMenu1 = named(new QMenu(form), "PopupMenu1");
    N2 = named(PopupMenu1->addAction(QStringLiteral("Закрыть")), "N2");

    // What assistive technology reads for the parts whose text is a value.
    ComCB->setAccessibleName(QStringLiteral("Порт связи"));
    ComboBox1->setAccessibleName(QStringLiteral("Периодичность, с"));
    MaxDif->setAccessibleName(QStringLiteral("Изменение (дискрет)"));
    SizeEdit->setAccessibleName(QStringLiteral("Кол-во обрабатываемых измерений"));
    FileCheckListBox->setAccessibleName(QStringLiteral("Опрашиваемые весы"));
    // The labels that show a value keep no fixed name: Qt names a label after
    // its text and tells assistive technology each time the text changes, so
    // the value is heard; the caption beside it is the description.
    Label12->setAccessibleDescription(QStringLiteral("Порт"));
    Label6->setAccessibleDescription(QStringLiteral("Связь"));
    PortDevice->setAccessibleDescription(QStringLiteral("Устройство порта"));
    PortReason->setAccessibleDescription(QStringLiteral("Почему порт не на связи"));
    StrGrid1->setAccessibleName(QStringLiteral("Таблица измерений"));
    Chart1->setAccessibleName(QStringLiteral("График измерений"));
}

void MainFormLayout::showText(QComboBox *box, const QString &text)
{
    const int entry = box->findText(text);
    if (entry >= 0)
        box->setCurrentIndex(entry);
    box->setEditText(text);
}

void MainFormLayout::applyColumnWidths(const QString &timeSample, const QString &dateSample) const
{
    QHeaderView *columns = StrGrid1->horizontalHeader();
    for (int column = 0; column < int(gridColumnWidths.size()) && column < columns->count(); ++column)
        columns->resizeSection(column, gridColumnWidths[size_t(column)]);
    // Time and date must fit in the system's formats, which may be wider
    // than the laid-out widths.
    StrGrid1->widenColumnFor(MeasurementColumns::timeColumn, timeSample);
    StrGrid1->widenColumnFor(MeasurementColumns::dateColumn, dateSample);
    // Value columns fit a weight with all its decimals, unit columns the
    // widest unit text.
    for (int slot = 0; MeasurementColumns::unitColumn(slot) < columns->count(); ++slot) {
        StrGrid1->widenColumnFor(MeasurementColumns::valueColumn(slot), QStringLiteral("-8388,607"));
        StrGrid1->widenColumnFor(MeasurementColumns::unitColumn(slot), QStringLiteral("mg"));
    }
    // "№" follows the run as it grows.
    StrGrid1->fitColumnToNewRows(MeasurementColumns::numberColumn);
}
