#include "window/bufferwindow.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QUndoStack>
#include <QVBoxLayout>

namespace corvane {

namespace {

QString hex(quint64 value, int digits) {
    return QString::number(value, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

std::optional<quint32> parseAddress(const QString &text) {
    bool ok = false;
    const qulonglong value = text.trimmed().toULongLong(&ok, 16);
    if (!ok || value > 0xFFFFFFFFull)
        return std::nullopt;
    return quint32(value);
}

} // namespace

BufferWindow::BufferWindow(UnitController &unit, QWidget *parent)
    : QMainWindow(parent, Qt::Window)
    , m_unit(unit)
    , m_model(new BufferModel(this))
    , m_view(new BufferView(m_model))
    , m_undo(new QUndoStack(this)) {
    setWindowTitle(QStringLiteral("バッファの表示"));
    buildControls();
    connectControls();
    buildMenu();
    connect(m_model, &BufferModel::selectionChanged, this, [this] {
        m_nibbleOffset = -1;
        showSelection();
    });
    connect(m_model, &BufferModel::bytesChanged, this, [this] {
        showSelection();
        showComparison();
        showBusy();
    });
    connect(m_view, &BufferView::digitTyped, this, &BufferWindow::typeDigit);
    connect(&m_unit, &UnitController::busyChanged, this, &BufferWindow::showBusy);
    connect(&m_unit, &UnitController::panelChanged, this, &BufferWindow::followPanel);
    showBusy();
    showSelection();
    resize(900, 560);
}

void BufferWindow::buildControls() {
    auto *central = new QWidget(this);
    auto *rows = new QVBoxLayout(central);
    auto *rangeRow = new QHBoxLayout;
    auto *findRow = new QHBoxLayout;
    auto field = [](const QString &name, const QString &text, int chars) {
        auto *edit = new QLineEdit(text);
        edit->setObjectName(name);
        edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QString(chars, u'0')) + 16);
        return edit;
    };
    m_shownDefaultLast = defaultLast();
    m_first = field(QStringLiteral("BufferFirst"), QStringLiteral("00000"), 8);
    m_last = field(QStringLiteral("BufferLast"), m_shownDefaultLast, 8);
    m_goto = field(QStringLiteral("BufferGoto"), QString(), 8);
    m_find = new QLineEdit;
    m_find->setObjectName(QStringLiteral("BufferFind"));
    m_findMode = new QComboBox;
    m_findMode->addItems({QStringLiteral("16進"), QStringLiteral("文字")});
    m_read = new QPushButton(QStringLiteral("読み出し"));
    m_write = new QPushButton(QStringLiteral("書き込み"));
    m_compare = new QPushButton(QStringLiteral("比較..."));
    m_save = new QPushButton(QStringLiteral("保存..."));
    m_read->setObjectName(QStringLiteral("BufferRead"));
    m_write->setObjectName(QStringLiteral("BufferWrite"));
    rangeRow->addWidget(new QLabel(QStringLiteral("範囲")));
    rangeRow->addWidget(m_first);
    rangeRow->addWidget(new QLabel(QStringLiteral("ｈ～")));
    rangeRow->addWidget(m_last);
    rangeRow->addWidget(new QLabel(QStringLiteral("ｈ")));
    for (QPushButton *button : {m_read, m_write, m_compare, m_save})
        rangeRow->addWidget(button);
    rangeRow->addStretch();
    findRow->addWidget(new QLabel(QStringLiteral("移動")));
    findRow->addWidget(m_goto);
    findRow->addWidget(new QLabel(QStringLiteral("検索")));
    findRow->addWidget(m_find, 1);
    findRow->addWidget(m_findMode);
    rows->addLayout(rangeRow);
    rows->addLayout(findRow);
    rows->addWidget(m_view, 1);
    setCentralWidget(central);
    m_selectionLabel = new QLabel;
    m_comparisonLabel = new QLabel;
    statusBar()->addPermanentWidget(m_comparisonLabel);
    statusBar()->addPermanentWidget(m_selectionLabel);
}

void BufferWindow::connectControls() {
    connect(m_read, &QPushButton::clicked, this, &BufferWindow::read);
    connect(m_write, &QPushButton::clicked, this, &BufferWindow::write);
    connect(m_compare, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(
            this, QStringLiteral("比較するファイル"), QString(),
            QStringLiteral("データファイル (*.bin *.hex *.ihx *.ihex *.mot *.s *.s19 *.s28 *.s37 "
                           "*.srec);;すべてのファイル (*)"));
        if (!path.isEmpty())
            compareFile(path);
    });
    connect(m_save, &QPushButton::clicked, this, [this] {
        const QStringList filters = {QStringLiteral("バイナリー (*.bin)"),
                                     QStringLiteral("インテルHEX (*.hex)"),
                                     QStringLiteral("モトローラS (*.mot)")};
        QString filter;
        const QString path = QFileDialog::getSaveFileName(
            this, QStringLiteral("保存"), QString(), filters.join(QStringLiteral(";;")), &filter);
        if (path.isEmpty())
            return;
        // A name that tells its format wins; a name that does not takes the chosen filter's.
        ImageFormat format = formatForPath(path);
        if (format == ImageFormat::Binary && QFileInfo(path).suffix().compare(u"bin") != 0)
            format = filter == filters[1]   ? ImageFormat::IntelHex
                     : filter == filters[2] ? ImageFormat::MotorolaS
                                            : ImageFormat::Binary;
        saveFile(path, format);
    });
    connect(m_goto, &QLineEdit::returnPressed, this, &BufferWindow::goToTyped);
    connect(m_find, &QLineEdit::textEdited, this, [this] { m_findRetyped = true; });
    connect(m_findMode, &QComboBox::currentIndexChanged, this, [this] { m_findRetyped = true; });
    connect(m_find, &QLineEdit::returnPressed, this, [this] { find(false, m_findRetyped); });
}

void BufferWindow::buildMenu() {
    QMenu *menu = menuBar()->addMenu(QStringLiteral("編集"));
    auto add = [this, menu](const QString &text, QList<QKeySequence> keys, auto handler) {
        QAction *action = menu->addAction(text);
        action->setShortcuts(keys);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    QAction *undo = add(QStringLiteral("元に戻す"), {QKeySequence(Qt::CTRL | Qt::Key_Z)}, [this] {
        if (editable())
            m_undo->undo();
    });
    QAction *redo =
        add(QStringLiteral("やり直し"),
            {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
            [this] {
                if (editable())
                    m_undo->redo();
            });
    undo->setEnabled(false);
    redo->setEnabled(false);
    connect(m_undo, &QUndoStack::canUndoChanged, undo, &QAction::setEnabled);
    connect(m_undo, &QUndoStack::canRedoChanged, redo, &QAction::setEnabled);
    menu->addSeparator();
    add(QStringLiteral("コピー"), {QKeySequence::Copy}, [this] { copy(); });
    add(QStringLiteral("貼り付け"), {QKeySequence::Paste}, [this] { paste(); });
    menu->addSeparator();
    add(QStringLiteral("アドレスへ移動"), {QKeySequence(Qt::CTRL | Qt::Key_G)}, [this] {
        m_goto->setFocus();
        m_goto->selectAll();
    });
    add(QStringLiteral("検索"), {QKeySequence(Qt::CTRL | Qt::Key_F)}, [this] {
        m_find->setFocus();
        m_find->selectAll();
    });
    add(QStringLiteral("次を検索"), {QKeySequence(Qt::Key_F3)}, [this] { find(false); });
    add(QStringLiteral("前を検索"), {QKeySequence(Qt::SHIFT | Qt::Key_F3)}, [this] { find(true); });
    add(QStringLiteral("次の相違"), {QKeySequence(Qt::Key_F7)}, [this] { nextDifference(false); });
    add(QStringLiteral("前の相違"), {QKeySequence(Qt::SHIFT | Qt::Key_F7)},
        [this] { nextDifference(true); });
}

// ---- Reading and writing the unit's buffer ----

void BufferWindow::read() {
    const std::optional<quint32> first = parseAddress(m_first->text());
    const std::optional<quint32> last = parseAddress(m_last->text());
    if (!first || !last || *last < *first || *last > kLastBufferAddress) {
        message(QStringLiteral("範囲が正しくありません。"));
        return;
    }
    if (m_model->hasChanges() &&
        QMessageBox::question(
            this, windowTitle(),
            QStringLiteral("書き込んでいない変更があります。捨てて読み出しますか？")) !=
            QMessageBox::Yes)
        return;
    m_unit.start(readInto(this, m_unit, *first, *last));
}

QCoro::Task<> BufferWindow::readInto(QPointer<BufferWindow> window, UnitController &unit,
                                     quint32 first, quint32 last) {
    const UnitController::BufferRead read = co_await unit.readBuffer(first, last);
    if (window)
        window->showRead(first, read);
}

void BufferWindow::showRead(quint32 first, const UnitController::BufferRead &read) {
    if (read.cancelled) {
        message(QStringLiteral("読み出しを中止しました。"));
        return;
    }
    if (read.bytes.isEmpty()) {
        message(QStringLiteral("読み出せませんでした。"));
        return;
    }
    m_model->setBytes(first, read.bytes);
    m_undo->clear();
    const QString range = BufferModel::addressText(first) + QStringLiteral("～") +
                          BufferModel::addressText(quint64(first) + quint64(read.bytes.size()) - 1);
    message(
        read.complete
            ? QStringLiteral("読み出しました: %1（%2 バイト）").arg(range).arg(read.bytes.size())
            : QStringLiteral("途中までしか読み出せませんでした: %1").arg(range));
}

void BufferWindow::write() {
    std::vector<ByteRun> runs =
        changedRuns(m_model->base(), m_model->original(), m_model->current());
    if (runs.empty()) {
        message(QStringLiteral("変更はありません。"));
        return;
    }
    m_unit.start(writeFrom(this, m_unit, std::move(runs)));
}

QCoro::Task<> BufferWindow::writeFrom(QPointer<BufferWindow> window, UnitController &unit,
                                      std::vector<ByteRun> runs) {
    const qsizetype count = qsizetype(runs.size());
    const UnitController::WriteBack result = co_await unit.writeBuffer(std::move(runs));
    if (window)
        window->showWriteBack(result, count);
}

void BufferWindow::showWriteBack(UnitController::WriteBack result, qsizetype runs) {
    switch (result) {
    case UnitController::WriteBack::Verified:
        m_model->acceptChanges();
        m_undo->clear();
        message(QStringLiteral("%1 箇所を書き込み、読み返して一致しました。").arg(runs));
        break;
    case UnitController::WriteBack::Differs:
        message(QStringLiteral("書き込みましたが、読み返すと違います。"));
        break;
    case UnitController::WriteBack::Failed:
        message(QStringLiteral("書き込めませんでした。"));
        break;
    case UnitController::WriteBack::Cancelled:
        message(QStringLiteral("書き込みを中止しました。"));
        break;
    }
}

// ---- Files ----

bool BufferWindow::compareFile(const QString &path) {
    ImageFileRead read = readImageFile(path);
    if (!read.ok()) {
        message(read.failure);
        return false;
    }
    m_model->compareWith(std::move(read.image));
    const quint64 outside = m_model->comparison().outside;
    message(QStringLiteral("比較しました: %1").arg(QFileInfo(path).fileName()) +
            (outside ? QStringLiteral("（範囲外のデータ %1 バイト）").arg(outside) : QString()));
    return true;
}

bool BufferWindow::saveFile(const QString &path, ImageFormat format) {
    if (m_model->size() == 0) {
        message(QStringLiteral("保存するデータがありません。"));
        return false;
    }
    qsizetype first = m_model->selectionFirst(), last = m_model->selectionLast();
    if (first == last) {
        first = 0;
        last = m_model->size() - 1;
    }
    MemoryImage image;
    image.write(m_model->base() + quint32(first),
                QByteArrayView(m_model->current()).sliced(first, last - first + 1));
    const QString failure = writeImageFile(path, format, image);
    message(failure.isEmpty() ? QStringLiteral("保存しました: %1").arg(path) : failure);
    return failure.isEmpty();
}

// ---- State into the controls ----

void BufferWindow::showSelection() {
    if (m_model->size() == 0) {
        m_selectionLabel->clear();
        return;
    }
    const qsizetype first = m_model->selectionFirst(), last = m_model->selectionLast();
    const ByteSums sums =
        byteSums(QByteArrayView(m_model->current()).sliced(first, last - first + 1));
    const quint64 base = m_model->base();
    m_selectionLabel->setText(
        QStringLiteral("選択 %1～%2（%3）  SUM8 %4 SUM16 %5 SUM32 %6 CRC-32 %7")
            .arg(BufferModel::addressText(base + quint64(first)),
                 BufferModel::addressText(base + quint64(last)))
            .arg(last - first + 1)
            .arg(hex(sums.sum8, 2), hex(sums.sum16, 4), hex(sums.sum32, 8), hex(sums.crc32, 8)));
}

void BufferWindow::showComparison() {
    if (!m_model->compared()) {
        m_comparisonLabel->clear();
        return;
    }
    const Comparison &c = m_model->comparison();
    m_comparisonLabel->setText(
        QStringLiteral("相違 %1 バイト").arg(c.differing) +
        (c.uncovered ? QStringLiteral("（ファイルにない %1）").arg(c.uncovered) : QString()));
}

void BufferWindow::showBusy() {
    // The buffer is read and written when its dump could be: idle, a device selected.
    const bool idle = m_unit.enabledControls().contains(QStringLiteral("PbBD"));
    m_read->setEnabled(idle);
    m_write->setEnabled(idle && m_model->hasChanges());
}

void BufferWindow::followPanel() {
    const QString last = defaultLast();
    if (m_last->text() == m_shownDefaultLast)
        m_last->setText(last);
    m_shownDefaultLast = last;
}

QString BufferWindow::defaultLast() const {
    std::optional<quint32> end = parseAddress(m_unit.panel().endAddress);
    // A word-wide device's end address counts words of two buffer bytes.
    if (end && m_unit.panel().width == QLatin1String("(Word ROM)"))
        end = 2 * quint64(*end) + 1 <= kLastBufferAddress ? 2 * *end + 1 : kLastBufferAddress;
    return end && *end <= kLastBufferAddress ? BufferModel::addressText(*end)
                                             : BufferModel::addressText(kLastBufferAddress);
}

void BufferWindow::message(const QString &text) {
    statusBar()->showMessage(text);
}

bool BufferWindow::editable() const {
    return m_model->size() > 0 && !m_unit.operationRunning();
}

} // namespace corvane
