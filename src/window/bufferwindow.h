#pragma once
// BufferWindow: the modeless window on the unit's buffer: a range read into memory, compared with
// a file, searched, edited and written back, or saved as a file without the unit.

#include "controller/unitcontroller.h"
#include "text/imagefile.h"
#include "window/buffermodel.h"
#include "window/bufferview.h"

#include <QMainWindow>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QUndoStack;

namespace corvane {

class BufferWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit BufferWindow(UnitController &unit, QWidget *parent = nullptr);

    [[nodiscard]] BufferModel *model() const { return m_model; }
    [[nodiscard]] BufferView *view() const { return m_view; }
    [[nodiscard]] QUndoStack *undoStack() const { return m_undo; }

    // The file at `path` compared with the bytes shown; a file that cannot be used changes
    // nothing and is reported in the status bar.
    bool compareFile(const QString &path);
    // The selection (when it is more than one byte) or all the bytes shown written to `path`.
    bool saveFile(const QString &path, ImageFormat format);
    // Reads the range typed, or writes the changed runs back: operations of the controller.
    void read();
    void write();
    void goToTyped();
    // The next (previous) place of what the find field holds; `fromCursor` takes the cursor's
    // own place too.
    void find(bool backwards, bool fromCursor = false);
    void nextDifference(bool backwards);
    void copy();
    void paste();

private:
    void buildControls();
    void connectControls();
    // The edit menu: its items carry the window's keys.
    void buildMenu();
    void typeDigit(int value);
    void showSelection();
    void showComparison();
    void showBusy();
    void followPanel();
    void message(const QString &text);
    // Edits are refused while an operation runs: what is written must be what is shown.
    [[nodiscard]] bool editable() const;
    [[nodiscard]] QString defaultLast() const;
    [[nodiscard]] std::optional<QByteArray> findNeedle();
    void showRead(quint32 first, const UnitController::BufferRead &read);
    void showWriteBack(UnitController::WriteBack result, qsizetype runs);
    static QCoro::Task<> readInto(QPointer<BufferWindow> window, UnitController &unit,
                                  quint32 first, quint32 last);
    static QCoro::Task<> writeFrom(QPointer<BufferWindow> window, UnitController &unit,
                                   std::vector<ByteRun> runs);

    UnitController &m_unit;
    BufferModel *m_model;
    BufferView *m_view;
    QUndoStack *m_undo;
    QLineEdit *m_first, *m_last, *m_goto, *m_find;
    QComboBox *m_findMode;
    QPushButton *m_read, *m_write, *m_compare, *m_save;
    QLabel *m_selectionLabel, *m_comparisonLabel;
    QString m_shownDefaultLast;    // the end the range field was given, while not retyped
    qsizetype m_nibbleOffset = -1; // the byte whose first digit was typed
    bool m_findRetyped = true;     // the find field changed since the last search
};

} // namespace corvane
