#pragma once
// BufferView: the buffer window's table: fixed rows and columns, a cursor byte, and a selection
// that runs from one byte to another in address order (Shift with a key or a click, or a drag).

#include "window/buffermodel.h"

#include <QTableView>

namespace corvane {

class BufferView : public QTableView {
    Q_OBJECT
public:
    explicit BufferView(BufferModel *model, QWidget *parent = nullptr);

    // Puts the cursor on the byte at `offset`, in sight, and selects `first`..`last`.
    void placeCursor(qsizetype offset, qsizetype first, qsizetype last);
    // The byte under the cursor (0 when there is none).
    [[nodiscard]] qsizetype cursorOffset() const;
    // Column widths and the row height for the view's font.
    void fitToFont();

Q_SIGNALS:
    // A hex digit typed over the cursor's byte.
    void digitTyped(int value);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyboardSearch(const QString &) override {}
    void changeEvent(QEvent *event) override;

private:
    void followCurrent(const QModelIndex &current);

    BufferModel *m_model;
    qsizetype m_anchor = 0;   // where a selection being extended began
    bool m_extending = false; // the cursor's move extends the selection
    bool m_placing = false;   // placeCursor sets the selection itself
};

} // namespace corvane
