#pragma once
// BufferModel: the buffer bytes the buffer window shows, 16 to a row with their address and
// characters: as read from the unit, as edited since, and as they compare with a file.

#include "text/bytecompare.h"
#include "text/memoryimage.h"

#include <QAbstractTableModel>
#include <QByteArray>

#include <optional>

namespace corvane {

class BufferModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kBytesPerRow = 16;
    static constexpr int kAddressColumn = 0;
    static constexpr int kFirstByteColumn = 1;
    static constexpr int kCharsColumn = kFirstByteColumn + kBytesPerRow;
    // What sets a byte apart, or'ed into the value of kMarksRole.
    enum Mark { Changed = 1, Differs = 2, Uncovered = 4, Selected = 8 };
    static constexpr int kMarksRole = Qt::UserRole + 1;

    explicit BufferModel(QObject *parent = nullptr);

    // Shows `bytes` from `base` on as read: nothing changed, no file compared, the first byte
    // selected.
    void setBytes(quint32 base, QByteArray bytes);
    [[nodiscard]] quint32 base() const { return m_base; }
    [[nodiscard]] qsizetype size() const { return m_current.size(); }
    [[nodiscard]] const QByteArray &original() const { return m_original; }
    [[nodiscard]] const QByteArray &current() const { return m_current; }
    [[nodiscard]] bool hasChanges() const { return m_original != m_current; }
    // Puts `bytes` over the current bytes from `offset` on, cut at the end; returns how many.
    qsizetype writeBytes(qsizetype offset, QByteArrayView bytes);
    // The current bytes become the ones read (the unit holds them now).
    void acceptChanges();

    // Compares the current bytes with `file` from now on, edits included.
    void compareWith(MemoryImage file);
    [[nodiscard]] bool compared() const { return m_compared; }
    [[nodiscard]] const Comparison &comparison() const { return m_comparison; }

    // The selection, offsets `first`..`last` (first <= last), marked Selected.
    void select(qsizetype first, qsizetype last);
    [[nodiscard]] qsizetype selectionFirst() const { return m_selFirst; }
    [[nodiscard]] qsizetype selectionLast() const { return m_selLast; }

    // The cell of the byte at `offset`, and the byte (offset) of a byte cell.
    [[nodiscard]] QModelIndex indexOf(qsizetype offset) const;
    [[nodiscard]] std::optional<qsizetype> offsetOf(const QModelIndex &index) const;
    // An address as the window shows it: five hex digits, more when it needs them.
    [[nodiscard]] static QString addressText(quint64 address);

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex &index) const override;

Q_SIGNALS:
    // The current bytes or the comparison changed.
    void bytesChanged();
    void selectionChanged();

private:
    [[nodiscard]] int marks(qsizetype offset) const;
    [[nodiscard]] QString charsText(qsizetype rowStart) const;
    [[nodiscard]] QVariant byteData(qsizetype offset, int role) const;
    // Repaints the rows of offsets `first`..`last`.
    void rowsChanged(qsizetype first, qsizetype last);

    quint32 m_base = 0;
    QByteArray m_original;
    QByteArray m_current;
    bool m_compared = false;
    MemoryImage m_file;
    Comparison m_comparison;
    qsizetype m_selFirst = 0;
    qsizetype m_selLast = 0;
};

} // namespace corvane
