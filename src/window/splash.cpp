#include "window/splash.h"

#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace corvane {

QString versionText(int major, int minor, int revision) {
    return QStringLiteral("Ver %1.%2.%3").arg(major).arg(minor).arg(revision);
}

QString settingsFilesText(const QString &read, const QString &write) {
    QString text = QStringLiteral("設定ファイル: ") + QDir::toNativeSeparators(write);
    if (read != write)
        text +=
            QStringLiteral("（保存するまでは %1 を読みます）").arg(QDir::toNativeSeparators(read));
    return text;
}

FrmSplash::FrmSplash(const QString &settings, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));

    Frame1 = new QGroupBox(this);
    auto *outer = new QVBoxLayout(this);
    outer->addWidget(Frame1);
    auto *layout = new QVBoxLayout(Frame1);

    imgLogo = new QLabel(Frame1);
    imgLogo->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));
    lblProductName = new QLabel(QStringLiteral("Corvane ROM Programmer"), Frame1);
    QFont big = lblProductName->font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    lblProductName->setFont(big);
    lblVersion = new QLabel(
        versionText(CORVANE_VERSION_MAJOR, CORVANE_VERSION_MINOR, CORVANE_VERSION_PATCH), Frame1);
    auto *line1 = new QFrame(Frame1);
    line1->setFrameShape(QFrame::HLine);
    lblDistribution =
        new QLabel(QStringLiteral("Corvane ユニット専用コントロールプログラム"), Frame1);
    lblRights = new QLabel(QStringLiteral("Copyright (C) Corvane Devices"), Frame1);
    Label1 = new QLabel(
        QStringLiteral(
            "免責事項\n　本ソフトウェアを使用することによって、あるいは使用できないことによって"
            "発生した損失や損害に対して一切責任を負いません。 "),
        Frame1);
    Label1->setWordWrap(true);
    lblSettings = new QLabel(settings, Frame1);
    lblSettings->setWordWrap(true);
    Label1->setMinimumWidth(360);

    auto *top = new QHBoxLayout;
    top->addWidget(imgLogo);
    top->addWidget(lblProductName, 1);
    layout->addLayout(top);
    layout->addWidget(lblVersion);
    layout->addWidget(line1);
    layout->addWidget(lblDistribution);
    layout->addWidget(lblRights);
    layout->addWidget(lblSettings);
    layout->addWidget(Label1);

    Frame1->installEventFilter(this);
    adjustSize();
    setFixedSize(size());
    if (QScreen *s = screen())
        move(s->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

void FrmSplash::keyPressEvent(QKeyEvent *event) {
    // Any key that produces a character closes the window (Enter and Esc included).
    if (!event->text().isEmpty() || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter || event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool FrmSplash::eventFilter(QObject *watched, QEvent *event) {
    if (watched == Frame1 && event->type() == QEvent::MouseButtonRelease) {
        close();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace corvane
