#include "window/buffermodel.h"

#include <QColor>
#include <QFont>

#include <algorithm>
#include <array>

namespace corvane {

namespace {

// "00" to "FF", made once: a cell's text is then shared, not built.
const std::array<QString, 256> &byteTexts() {
    static const std::array<QString, 256> texts = [] {
        std::array<QString, 256> t;
        for (int i = 0; i < 256; ++i)
            t[size_t(i)] = QStringLiteral("%1").arg(i, 2, 16, QLatin1Char('0')).toUpper();
        return t;
    }();
    return texts;
}

// A byte as the characters column shows it: printable ASCII, half-width katakana as CP932 maps
// them (A1-DF to U+FF61-U+FF9F), "." for the rest.
QChar byteChar(quint8 byte) {
    if (byte >= 0x20 && byte < 0x7F)
        return QChar(byte);
    if (byte >= 0xA1 && byte <= 0xDF)
        return QChar(char16_t(0xFF61 + (byte - 0xA1)));
    return QLatin1Char('.');
}

const QColor kChangedText(200, 0, 0);
const QColor kUncoveredText(150, 150, 150);
const QColor kAddressText(90, 90, 90);
const QColor kDiffersBack(255, 205, 120);
const QColor kSelectedBack(185, 210, 250);
const QColor kSelectedDiffersBack(225, 175, 205);

} // namespace

BufferModel::BufferModel(QObject *parent)
    : QAbstractTableModel(parent) {}

void BufferModel::setBytes(quint32 base, QByteArray bytes) {
    beginResetModel();
    m_base = base;
    m_original = bytes;
    m_current = std::move(bytes);
    m_compared = false;
    m_file = {};
    m_comparison = {};
    m_selFirst = m_selLast = 0;
    endResetModel();
    Q_EMIT bytesChanged();
    Q_EMIT selectionChanged();
}

qsizetype BufferModel::writeBytes(qsizetype offset, QByteArrayView bytes) {
    if (offset < 0 || offset >= size())
        return 0;
    const qsizetype count = std::min(bytes.size(), size() - offset);
    if (count == 0)
        return 0;
    std::copy_n(bytes.data(), count, m_current.data() + offset);
    if (m_compared)
        m_comparison = compareImage(m_base, m_current, m_file);
    rowsChanged(offset, offset + count - 1);
    Q_EMIT bytesChanged();
    return count;
}

void BufferModel::acceptChanges() {
    m_original = m_current;
    rowsChanged(0, size() - 1);
    Q_EMIT bytesChanged();
}

void BufferModel::compareWith(MemoryImage file) {
    m_file = std::move(file);
    m_compared = true;
    m_comparison = compareImage(m_base, m_current, m_file);
    rowsChanged(0, size() - 1);
    Q_EMIT bytesChanged();
}

void BufferModel::select(qsizetype first, qsizetype last) {
    if (size() == 0)
        return;
    first = std::clamp<qsizetype>(first, 0, size() - 1);
    last = std::clamp<qsizetype>(last, first, size() - 1);
    if (first == m_selFirst && last == m_selLast)
        return;
    rowsChanged(std::min(first, m_selFirst), std::max(last, m_selLast));
    m_selFirst = first;
    m_selLast = last;
    Q_EMIT selectionChanged();
}

QModelIndex BufferModel::indexOf(qsizetype offset) const {
    if (offset < 0 || offset >= size())
        return {};
    return index(int(offset / kBytesPerRow), kFirstByteColumn + int(offset % kBytesPerRow));
}

std::optional<qsizetype> BufferModel::offsetOf(const QModelIndex &index) const {
    if (!index.isValid() || index.column() < kFirstByteColumn || index.column() >= kCharsColumn)
        return std::nullopt;
    const qsizetype offset =
        qsizetype(index.row()) * kBytesPerRow + (index.column() - kFirstByteColumn);
    if (offset >= size())
        return std::nullopt;
    return offset;
}

QString BufferModel::addressText(quint64 address) {
    return QString::number(address, 16).toUpper().rightJustified(5, QLatin1Char('0'));
}

int BufferModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int((size() + kBytesPerRow - 1) / kBytesPerRow);
}

int BufferModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : kCharsColumn + 1;
}

QVariant BufferModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid())
        return {};
    const qsizetype rowStart = qsizetype(index.row()) * kBytesPerRow;
    if (index.column() == kAddressColumn) {
        if (role == Qt::DisplayRole)
            return addressText(quint64(m_base) + quint64(rowStart));
        if (role == Qt::ForegroundRole)
            return kAddressText;
        return {};
    }
    if (index.column() == kCharsColumn) {
        if (role == Qt::DisplayRole)
            return charsText(rowStart);
        if (role == Qt::ForegroundRole)
            return QColor(Qt::black);
        return {};
    }
    const std::optional<qsizetype> offset = offsetOf(index);
    return offset ? byteData(*offset, role) : QVariant();
}

QVariant BufferModel::byteData(qsizetype offset, int role) const {
    switch (role) {
    case Qt::DisplayRole:
        return byteTexts()[quint8(m_current[offset])];
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    case kMarksRole:
        return marks(offset);
    case Qt::FontRole: {
        if (!(marks(offset) & Changed))
            return {};
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    case Qt::ForegroundRole: {
        const int m = marks(offset);
        return m & Changed ? kChangedText : m & Uncovered ? kUncoveredText : QColor(Qt::black);
    }
    case Qt::BackgroundRole: {
        const int m = marks(offset) & (Differs | Selected);
        return m == (Differs | Selected) ? kSelectedDiffersBack
               : m == Differs            ? kDiffersBack
               : m == Selected           ? kSelectedBack
                                         : QVariant();
    }
    default:
        return {};
    }
}

QVariant BufferModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole && section == kCharsColumn)
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section == kAddressColumn)
        return QStringLiteral("アドレス");
    if (section == kCharsColumn)
        return QStringLiteral("文字");
    return QString::number(section - kFirstByteColumn, 16).toUpper();
}

Qt::ItemFlags BufferModel::flags(const QModelIndex &index) const {
    // Only bytes take the cursor: the address and the characters are there to be read.
    return offsetOf(index) ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

int BufferModel::marks(qsizetype offset) const {
    int m = 0;
    if (m_current[offset] != m_original[offset])
        m |= Changed;
    if (m_compared) {
        const quint32 address = m_base + quint32(offset);
        if (m_comparison.runAt(address))
            m |= Differs;
        if (!m_file.runAt(address))
            m |= Uncovered;
    }
    if (offset >= m_selFirst && offset <= m_selLast)
        m |= Selected;
    return m;
}

QString BufferModel::charsText(qsizetype rowStart) const {
    const qsizetype count = std::min<qsizetype>(kBytesPerRow, size() - rowStart);
    QString text(count, Qt::Uninitialized);
    for (qsizetype i = 0; i < count; ++i)
        text[i] = byteChar(quint8(m_current[rowStart + i]));
    return text;
}

void BufferModel::rowsChanged(qsizetype first, qsizetype last) {
    if (size() == 0 || last < first)
        return;
    Q_EMIT dataChanged(index(int(first / kBytesPerRow), 0),
                       index(int(last / kBytesPerRow), kCharsColumn));
}

} // namespace corvane
