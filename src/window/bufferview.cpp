#include "window/bufferview.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScopedValueRollback>

namespace corvane {

BufferView::BufferView(BufferModel *model, QWidget *parent)
    : QTableView(parent)
    , m_model(model) {
    setModel(model);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    verticalHeader()->hide();
    // Fixed sizes: nothing is measured row by row, so a megabyte opens and scrolls at once.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(true);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            &BufferView::followCurrent);
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        m_anchor = 0;
        fitToFont();
        if (m_model->size() > 0)
            placeCursor(0, 0, 0);
    });
    fitToFont();
}

void BufferView::placeCursor(qsizetype offset, qsizetype first, qsizetype last) {
    const QModelIndex index = m_model->indexOf(offset);
    if (!index.isValid())
        return;
    {
        const QScopedValueRollback placing(m_placing, true);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
    m_anchor = offset == first ? last : first;
    m_model->select(first, last);
    scrollTo(index);
}

qsizetype BufferView::cursorOffset() const {
    return m_model->offsetOf(currentIndex()).value_or(0);
}

void BufferView::fitToFont() {
    const QFontMetrics metrics(font());
    const int pad = metrics.horizontalAdvance(QLatin1Char('0'));
    const quint64 highest =
        quint64(m_model->base()) + quint64(std::max<qsizetype>(0, m_model->size() - 1));
    const QString address(BufferModel::addressText(highest).size(), QLatin1Char('0'));
    const QString heading =
        m_model->headerData(BufferModel::kAddressColumn, Qt::Horizontal, Qt::DisplayRole)
            .toString();
    setColumnWidth(BufferModel::kAddressColumn,
                   std::max(metrics.horizontalAdvance(address),
                            horizontalHeader()->fontMetrics().horizontalAdvance(heading)) +
                       2 * pad);
    for (int c = BufferModel::kFirstByteColumn; c < BufferModel::kCharsColumn; ++c)
        setColumnWidth(c, metrics.horizontalAdvance(QStringLiteral("00")) + pad);
    setColumnWidth(BufferModel::kCharsColumn,
                   metrics.horizontalAdvance(QString(BufferModel::kBytesPerRow, QLatin1Char('M'))) +
                       2 * pad);
    verticalHeader()->setDefaultSectionSize(metrics.height() + 4);
    verticalHeader()->setMinimumSectionSize(metrics.height() + 4);
}

void BufferView::keyPressEvent(QKeyEvent *event) {
    const QString text = event->text();
    const Qt::KeyboardModifiers commands = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    bool isDigit = false;
    const int value = text.size() == 1 ? text.toInt(&isDigit, 16) : 0;
    if (isDigit && !(event->modifiers() & commands)) {
        Q_EMIT digitTyped(value);
        return;
    }
    const QScopedValueRollback extending(m_extending,
                                         event->modifiers().testFlag(Qt::ShiftModifier));
    QTableView::keyPressEvent(event);
}

void BufferView::changeEvent(QEvent *event) {
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitToFont();
}

void BufferView::mousePressEvent(QMouseEvent *event) {
    const QScopedValueRollback extending(m_extending,
                                         event->modifiers().testFlag(Qt::ShiftModifier));
    QTableView::mousePressEvent(event);
}

void BufferView::mouseMoveEvent(QMouseEvent *event) {
    if (!(event->buttons() & Qt::LeftButton))
        return QTableView::mouseMoveEvent(event);
    // A drag selects from where the button went down.
    const QModelIndex index = indexAt(event->position().toPoint());
    if (m_model->offsetOf(index) && index != currentIndex()) {
        const QScopedValueRollback extending(m_extending, true);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        scrollTo(index);
    }
}

void BufferView::followCurrent(const QModelIndex &current) {
    const std::optional<qsizetype> offset = m_model->offsetOf(current);
    if (!offset || m_placing)
        return;
    if (!m_extending)
        m_anchor = *offset;
    m_model->select(std::min(m_anchor, *offset), std::max(m_anchor, *offset));
}

} // namespace corvane
