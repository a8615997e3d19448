// The controls of the main window and their arrangement. Control names are
// also the object names, so that the window's parts can be found by name.
#pragma once

#include "StringGridView.h"

#include <QChartView>
#include <QLineSeries>
#include <QValueAxis>

#include <array>

class QAction;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QMainWindow;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;

struct MainFormLayout {
    static constexpr int balances = 10;

    QLabel *Label4 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *MDLabel = nullptr;
    QComboBox *ComCB = nullptr;
    QLabel *PortDevice = nullptr; // the device the chosen port means
    QComboBox *ComboBox1 = nullptr;
    QLineEdit *MaxDif = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *Label8 = nullptr;
    QLineEdit *SizeEdit = nullptr;
    QLabel *Label5 = nullptr;
    QListWidget *FileCheckListBox = nullptr;
    QLabel *Label12 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *PortReason = nullptr; // why the line does not come up
    QPushButton *WeightButton = nullptr;
    QPushButton *StopButton = nullptr;
    QPushButton *ReadButton = nullptr;
    QPushButton *ApplyButton1 = nullptr;
    QPushButton *ClearButton = nullptr;
    StringGridView *StrGrid1 = nullptr;
    QChartView *Chart1 = nullptr;
    std::array<QLineSeries *, balances> Series{};
    QValueAxis *AxisX = nullptr;
    QValueAxis *AxisY = nullptr;
    QPlainTextEdit *Memo2 = nullptr;
    QDateTimeEdit *DateTimePicker1 = nullptr;

    QTimer *Timer2 = nullptr;
    QTimer *Timer5 = nullptr;
    QAction *PortsMenuItem = nullptr;
    QAction *N1 = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *N2 = nullptr;

    void setupUi(QMainWindow *form);
    // Shows a text in an editable selector, selecting the list entry it names.
    static void showText(QComboBox *box, const QString &text);
    // Widths of the table's columns as laid out, the time, date and value
    // columns widened to fit their texts; columns added later keep the default width.
    void applyColumnWidths(const QString &timeSample, const QString &dateSample) const;
};
