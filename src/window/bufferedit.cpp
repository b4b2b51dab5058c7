// The buffer window's finding and editing: go to an address, find bytes or text, step through
// the differences, type and paste bytes, copy them.

#include "text/cp932.h"
#include "window/bufferfind.h"
#include "window/bufferwindow.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QUndoCommand>
#include <QUndoStack>

namespace corvane {

namespace {

// Bytes typed or pasted over the buffer. The two digits of one byte make one step: the first
// digit's edit stays open for the second.
class ByteEdit : public QUndoCommand {
public:
    ByteEdit(BufferModel *model, qsizetype offset, QByteArray after, bool open)
        : m_model(model)
        , m_offset(offset)
        , m_before(model->current().mid(offset, after.size()))
        , m_after(std::move(after))
        , m_open(open) {}
    void redo() override { m_model->writeBytes(m_offset, m_after); }
    void undo() override { m_model->writeBytes(m_offset, m_before); }
    [[nodiscard]] int id() const override { return 1; }
    bool mergeWith(const QUndoCommand *other) override {
        const auto *next = static_cast<const ByteEdit *>(other);
        if (!m_open || next->m_offset != m_offset || next->m_after.size() != m_after.size())
            return false;
        m_after = next->m_after;
        m_open = false;
        return true;
    }

private:
    BufferModel *m_model;
    qsizetype m_offset;
    QByteArray m_before, m_after;
    bool m_open;
};

} // namespace

void BufferWindow::goToTyped() {
    bool ok = false;
    const qulonglong address = m_goto->text().trimmed().toULongLong(&ok, 16);
    if (!ok) {
        message(QStringLiteral("アドレスは16進で入力してください。"));
        return;
    }
    if (address < m_model->base() || address - m_model->base() >= quint64(m_model->size())) {
        message(QStringLiteral("範囲外のアドレスです。"));
        return;
    }
    const qsizetype offset = qsizetype(address - m_model->base());
    m_view->placeCursor(offset, offset, offset);
    m_view->setFocus();
}

std::optional<QByteArray> BufferWindow::findNeedle() {
    const QString text = m_find->text();
    if (m_findMode->currentIndex() == 0) {
        std::optional<QByteArray> bytes = parseHexBytes(text);
        if (!bytes)
            message(QStringLiteral("検索するバイトを 16 進で入力してください（例: 12 AB CD）。"));
        return bytes;
    }
    std::optional<QByteArray> bytes = encodeCp932(text);
    if (text.isEmpty() || !bytes) {
        message(text.isEmpty() ? QStringLiteral("検索する文字を入力してください。")
                               : QStringLiteral("CP932 にない文字は検索できません。"));
        return std::nullopt;
    }
    return bytes;
}

void BufferWindow::find(bool backwards, bool fromCursor) {
    const std::optional<QByteArray> needle = findNeedle();
    if (!needle)
        return;
    m_findRetyped = false;
    const qsizetype cursor = m_view->cursorOffset();
    const qsizetype from = backwards ? cursor - 1 : fromCursor ? cursor : cursor + 1;
    const Found found = findBytes(m_model->current(), *needle, from, backwards);
    if (found.at < 0) {
        message(QStringLiteral("見つかりません。"));
        return;
    }
    m_view->placeCursor(found.at, found.at, found.at + needle->size() - 1);
    const QString address = BufferModel::addressText(quint64(m_model->base()) + quint64(found.at));
    message(!found.wrapped ? QStringLiteral("%1 にあります。").arg(address)
            : backwards ? QStringLiteral("末尾に戻って探しました: %1 にあります。").arg(address)
                        : QStringLiteral("先頭に戻って探しました: %1 にあります。").arg(address));
}

void BufferWindow::nextDifference(bool backwards) {
    if (!m_model->compared()) {
        message(QStringLiteral("ファイルと比較していません。"));
        return;
    }
    const Comparison &comparison = m_model->comparison();
    const quint32 address = m_model->base() + quint32(m_view->cursorOffset());
    const std::optional<quint32> next = comparison.next(address, backwards);
    const DifferingRun *run = next ? comparison.runAt(*next) : nullptr;
    if (!run) {
        message(backwards ? QStringLiteral("これより前に相違はありません。")
                          : QStringLiteral("これより後に相違はありません。"));
        return;
    }
    const qsizetype offset = qsizetype(run->address - m_model->base());
    m_view->placeCursor(offset, offset, offset + run->unit.size() - 1);
    message(differingRunText(*run));
}

void BufferWindow::typeDigit(int value) {
    if (!editable())
        return;
    const qsizetype offset = m_view->cursorOffset();
    const quint8 old = quint8(m_model->current().at(offset));
    const bool second = m_nibbleOffset == offset;
    const quint8 byte = second ? quint8((old & 0xF0) | value) : quint8((value << 4) | (old & 0x0F));
    m_undo->push(new ByteEdit(m_model, offset, QByteArray(1, char(byte)), !second));
    if (!second) {
        m_nibbleOffset = offset;
    } else if (offset + 1 < m_model->size()) {
        m_view->placeCursor(offset + 1, offset + 1, offset + 1);
    } else {
        m_nibbleOffset = -1;
    }
}

void BufferWindow::copy() {
    if (m_model->size() == 0)
        return;
    const qsizetype first = m_model->selectionFirst(), last = m_model->selectionLast();
    QGuiApplication::clipboard()->setText(
        hexLines(QByteArrayView(m_model->current()).sliced(first, last - first + 1)));
    message(QStringLiteral("%1 バイトをコピーしました。").arg(last - first + 1));
}

void BufferWindow::paste() {
    if (!editable())
        return;
    const std::optional<QByteArray> bytes = parseHexBytes(QGuiApplication::clipboard()->text());
    if (!bytes) {
        message(QStringLiteral("貼り付けられるのは 16 進のバイトだけです。"));
        return;
    }
    const qsizetype offset = m_model->selectionFirst();
    const qsizetype count = std::min(bytes->size(), m_model->size() - offset);
    m_undo->push(new ByteEdit(m_model, offset, bytes->left(count), false));
    m_view->placeCursor(offset, offset, offset + count - 1);
    message(count < bytes->size()
                ? QStringLiteral("%1 バイト貼り付けました（%2 バイトは範囲の外です）。")
                      .arg(count)
                      .arg(bytes->size() - count)
                : QStringLiteral("%1 バイト貼り付けました。").arg(count));
}

} // namespace corvane
