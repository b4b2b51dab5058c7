#include "app/form1.h"

#include "app/splash.h"
#include "link/nullport.h"
#include "protocol/cp932.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <qdrawutil.h>

namespace corvane {

namespace {

// Twips (1/1440 inch) to pixels at the screen's resolution.
int twips(int value, qreal dpi) {
    return qRound(value * dpi / 1440.0);
}

QFont logFont() {
    const QStringList families = QFontDatabase::families();
    QFont font;
    if (families.contains(QStringLiteral("ＭＳ ゴシック")))
        font = QFont(QStringLiteral("ＭＳ ゴシック"));
    else if (families.contains(QStringLiteral("IPAGothic")))
        font = QFont(QStringLiteral("IPAGothic"));
    else
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(9);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

QFont controlFont() {
    const QStringList families = QFontDatabase::families();
    QFont font;
    for (const QString &family : {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
                                  QStringLiteral("IPAGothic")}) {
        if (families.contains(family)) {
            font = QFont(family);
            break;
        }
    }
    font.setPointSize(9);
    return font;
}

// A frame drawn as the layout expects it: an etched border whose top line runs through the middle
// of the caption, and the caption on a gap in that line. Controls then start just below the
// caption instead of below a title strip of the style's own, which the layout has no room for.
class CaptionedFrame : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        const QFontMetrics metrics = fontMetrics();
        const bool captioned = !title().isEmpty();
        const int borderTop = captioned ? metrics.height() / 2 : 0;
        qDrawShadeRect(&painter, rect().adjusted(0, borderTop, 0, 0), palette(), true, 1, 0);
        if (!captioned)
            return;
        const int pad = 2;
        const QRect caption(metrics.height() / 2, 0, metrics.horizontalAdvance(title()) + 2 * pad,
                            metrics.height());
        painter.fillRect(caption, palette().brush(backgroundRole()));
        style()->drawItemText(&painter, caption.adjusted(pad, 0, -pad, 0),
                              Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, palette(),
                              isEnabled(), title(), QPalette::WindowText);
    }
};

} // namespace

Form1::Form1(Form1Options options, QWidget *parent)
    : QWidget(parent)
    , m_options(std::move(options)) {
    if (!m_options.portFactory)
        m_options.portFactory = makePort;
    usePort(std::make_unique<NullPort>());
    buildWindow();
    connectHandlers();
    Form_Load();
    connect(&Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    if (m_options.timerIntervalMs > 0)
        Timer1.start(m_options.timerIntervalMs);
}

Form1::~Form1() {
    Timer1.stop();
    if (m_dataFile)
        m_dataFile->close();
    if (m_commandFile)
        m_commandFile->close();
}

void Form1::usePort(std::unique_ptr<SerialPort> port) {
    MSComm1 = std::move(port);
    MSComm1->setNullDiscard(m_nullDiscard);
    connect(MSComm1.get(), &SerialPort::readyRead, &m_waker, &Waker::poke);
    connect(MSComm1.get(), &SerialPort::pinoutChanged, &m_waker, &Waker::poke);
    connect(MSComm1.get(), &SerialPort::lost, &m_waker, &Waker::poke);
}

void Form1::buildWindow() {
    setWindowTitle(QStringLiteral("Corvane ROM Programmer"));
    setFont(controlFont());
    const qreal dpi = screen() ? screen()->logicalDotsPerInchX() : 96.0;
    auto place = [dpi](QWidget *w, int x, int y, int width, int height) {
        w->setGeometry(twips(x, dpi), twips(y, dpi), twips(width, dpi), twips(height, dpi));
    };

    menuBar = new QMenuBar(this);
    MenuFile = menuBar->addMenu(QStringLiteral("ファイル"));
    MenuReReadUtil = MenuFile->addAction(QStringLiteral("保存環境表示"));
    MenuSep = MenuFile->addSeparator();
    MenuApEnd = MenuFile->addAction(QStringLiteral("終了"));
    MenuOption = menuBar->addMenu(QStringLiteral("オプション"));
    MenuVer = MenuOption->addAction(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));

    client = new QWidget(this);
    const int menuHeight = menuBar->sizeHint().height();
    menuBar->setGeometry(0, 0, twips(kClientWidthTwips, dpi), menuHeight);
    client->setGeometry(0, menuHeight, twips(kClientWidthTwips, dpi),
                        twips(kClientHeightTwips, dpi));
    setFixedSize(twips(kClientWidthTwips, dpi), menuHeight + twips(kClientHeightTwips, dpi));

    auto frame = [&](const QString &caption, int x, int y, int w, int h) {
        auto *box = new CaptionedFrame(caption, client);
        place(box, x, y, w, h);
        return box;
    };
    auto label = [&](QWidget *parent, const QString &text, int x, int y, int w, int h) {
        auto *l = new QLabel(text, parent);
        place(l, x, y, w, h);
        return l;
    };
    auto button = [&](QWidget *parent, const QString &text, int x, int y, int w, int h) {
        auto *b = new QPushButton(text, parent);
        // Enter on the focused button clicks it (the fields below hand the focus to it).
        b->setAutoDefault(true);
        place(b, x, y, w, h);
        return b;
    };
    auto edit = [&](QWidget *parent, const QString &text, int x, int y, int w, int h) {
        auto *e = new QLineEdit(text, parent);
        place(e, x, y, w, h);
        return e;
    };
    auto option = [&](QWidget *parent, const QString &text, int x, int y, int w, int h) {
        auto *o = new QRadioButton(text, parent);
        place(o, x, y, w, h);
        return o;
    };
    auto combo = [&](QWidget *parent, const QStringList &items, const QString &text, int x, int y,
                     int w, int h) {
        auto *c = new QComboBox(parent);
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        c->addItems(items);
        c->setCurrentIndex(-1);
        c->setEditText(text);
        place(c, x, y, w, h);
        return c;
    };

    // The operation log.
    List1 = new QListWidget(client);
    place(List1, 120, 120, 5292, 4548);
    List1->setFont(logFont());
    List1->setSelectionMode(QAbstractItemView::NoSelection);
    List1->setFocusPolicy(Qt::NoFocus);
    List1->setUniformItemSizes(true);

    // Communication settings.
    Frame1 = frame(QStringLiteral("通信設定"), 120, 4800, 1770, 1065);
    Lb232[0] = label(Frame1, QStringLiteral("ポートNo"), 50, 250, 720, 270);
    Combo1 =
        combo(Frame1,
              {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"),
               QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("EMU")},
              QStringLiteral("1"), 760, 230, 970, 310);
    Lb232[1] = label(Frame1, QStringLiteral("転送速度"), 50, 620, 720, 270);
    Combo2 = combo(Frame1,
                   {QStringLiteral("4800"), QStringLiteral("9600"), QStringLiteral("19200"),
                    QStringLiteral("38400")},
                   QStringLiteral("9600"), 760, 600, 970, 310);

    // Command-response files.
    Frame2 = frame(QStringLiteral("コマンドレスポンスファイル"), 1920, 4800, 3492, 1065);
    Label7 = label(Frame2, QStringLiteral("起動時の自動実行"), 90, 210, 1500, 260);
    Option1 = option(Frame2, QStringLiteral("しない"), 1640, 200, 900, 270);
    Option1->setChecked(true);
    Label10 = label(Frame2, QStringLiteral("Ｆｉｌｅ１"), 90, 490, 930, 260);
    TexResGoFile1 = edit(Frame2, QString(), 1040, 485, 960, 270);
    PbResGo1 = button(Frame2, QStringLiteral("起動"), 2030, 485, 570, 270);
    Option2 = option(Frame2, QStringLiteral("File1"), 2630, 485, 830, 270);
    Label11 = label(Frame2, QStringLiteral("Ｆｉｌｅ2"), 90, 775, 930, 260);
    TexResGoFile2 = edit(Frame2, QString(), 1040, 770, 960, 270);
    PbResGo2 = button(Frame2, QStringLiteral("起動"), 2030, 770, 570, 270);
    Option3 = option(Frame2, QStringLiteral("File2"), 2630, 770, 830, 270);

    // Files.
    Frame8 = frame(QStringLiteral("ファイル"), 120, 5880, 5292, 930);
    PbGoLoad = button(Frame8, QStringLiteral("読込"), 100, 230, 600, 300);
    TexLoadDir = edit(Frame8, QString(), 740, 240, 2480, 280);
    PbLoadDir = button(Frame8, QStringLiteral("参照"), 3240, 230, 560, 300);
    PbGoSave = button(Frame8, QStringLiteral("保存"), 100, 580, 600, 300);
    TexSaveDir = edit(Frame8, QString(), 740, 590, 2480, 280);
    PbSaveDir = button(Frame8, QStringLiteral("参照"), 3240, 580, 560, 300);
    OpFileModeH = option(Frame8, QStringLiteral("インテルHEX"), 3830, 150, 1430, 240);
    OpFileModeS = option(Frame8, QStringLiteral("モトローラS"), 3830, 405, 1430, 240);
    OpFileModeB = option(Frame8, QStringLiteral("バイナリー"), 3830, 660, 1430, 240);
    OpFileModeH->setChecked(true);

    // Model name and product line.
    Label16 = label(client, QStringLiteral("Corvane RP-32"), 5520, 40, 2652, 330);
    QFont big = font();
    big.setPointSize(13);
    big.setBold(true);
    Label16->setFont(big);
    Label13 = label(client, QStringLiteral("ROM Programmer"), 5520, 370, 2652, 250);

    // Device access.
    Frame7 = frame(QStringLiteral("デバイスアクセス"), 5520, 630, 2652, 1470);
    PbPG = button(Frame7, QStringLiteral("プログラム"), 100, 240, 1200, 360);
    PbCP = button(Frame7, QStringLiteral("ベリファイ"), 1350, 240, 1200, 360);
    PbWT = button(Frame7, QStringLiteral("書き込み"), 100, 640, 1200, 360);
    PbRD = button(Frame7, QStringLiteral("読み込み"), 1350, 640, 1200, 360);
    PbBL = button(Frame7, QStringLiteral("ブランクチェック"), 100, 1040, 1500, 360);
    PbER = button(Frame7, QStringLiteral("イレース"), 1650, 1040, 900, 360);

    // Buffer control.
    Frame6 = frame(QStringLiteral("バッファコントロール"), 5520, 2160, 2652, 900);
    PbCL = button(Frame6, QStringLiteral("クリア"), 100, 230, 1200, 320);
    PbBD = button(Frame6, QStringLiteral("ダンプ"), 1350, 230, 1200, 320);
    DUMPS = edit(Frame6, QStringLiteral("0"), 100, 590, 900, 270);
    Label19 = label(Frame6, QStringLiteral("ｈ～"), 1030, 600, 340, 250);
    DUMPE = edit(Frame6, QStringLiteral("0FF"), 1380, 590, 900, 270);
    Label20 = label(Frame6, QStringLiteral("ｈ"), 2310, 600, 200, 250);

    // Buffer settings.
    Frame4 = frame(QString(), 5520, 3120, 2652, 930);
    Label14 = label(Frame4, QStringLiteral("Start Addres    ="), 100, 100, 1340, 260);
    StBuffAdr = edit(Frame4, QStringLiteral("0"), 1460, 90, 900, 270);
    Label17 = label(Frame4, QStringLiteral("h"), 2390, 100, 160, 260);
    Label18 = label(Frame4, QStringLiteral("Buffer TYPE   →"), 100, 370, 1500, 240);
    OpBuffTypeL = option(Frame4, QStringLiteral("Low"), 150, 630, 720, 255);
    OpBuffTypeH = option(Frame4, QStringLiteral("Hi"), 900, 630, 600, 255);
    OpBuffTypeL->setChecked(true);
    PbBuff = button(Frame4, QStringLiteral("バッファSET"), 1500, 625, 1080, 260);

    // Device panel.
    Frame3 = frame(QString(), 5520, 4080, 2652, 1560);
    PbDevice = button(Frame3, QStringLiteral("デバイスSET"), 100, 90, 1150, 310);
    Label23 = label(Frame3, QStringLiteral("Code ="), 1290, 110, 640, 270);
    TexDVS = edit(Frame3, QStringLiteral("03"), 1950, 100, 600, 280);
    Label24 = label(Frame3, QStringLiteral("Selected Code　="), 100, 440, 1700, 260);
    LbDevSetCode = label(Frame3, QStringLiteral("--"), 1830, 440, 750, 260);
    Label25 = label(Frame3, QStringLiteral("End Address   　 ="), 100, 710, 1700, 260);
    LbDevEAddr = label(Frame3, QStringLiteral("-----"), 1830, 710, 750, 260);
    Shape2 = new QFrame(Frame3);
    Shape2->setFrameShape(QFrame::Box);
    Shape2->setFrameShadow(QFrame::Plain);
    place(Shape2, 40, 970, 2580, 560);
    Label15 = label(Frame3, QStringLiteral("情報"), 100, 1000, 420, 240);
    LbDevStr1 = label(Frame3, QStringLiteral("Label26"), 520, 1000, 1000, 240);
    LbDevStr2 = label(Frame3, QStringLiteral("Label27"), 1540, 1000, 1030, 240);
    LbDevRom1 = label(Frame3, QStringLiteral("Label28"), 90, 1260, 1420, 240);
    LbDevRom2 = label(Frame3, QStringLiteral("Label29"), 1530, 1260, 1065, 240);

    // Device access mode.
    Frame5 = frame(QStringLiteral("デバイスアクセスMode"), 5520, 5676, 2652, 540);
    OpDevAModeA = option(Frame5, QStringLiteral("全数"), 160, 230, 760, 260);
    OpDevAModeO = option(Frame5, QStringLiteral("奇数"), 980, 230, 760, 260);
    OpDevAModeE = option(Frame5, QStringLiteral("偶数"), 1800, 230, 760, 260);
    OpDevAModeA->setChecked(true);

    // Command line.
    Frame10 = frame(QStringLiteral("コマンド入力"), 5520, 6240, 2652, 570);
    TexCMD = edit(Frame10, QString(), 100, 230, 1940, 290);
    PbCMD = button(Frame10, QStringLiteral("Cr"), 2080, 220, 480, 310);

    // Bottom row.
    PbON = button(client, QStringLiteral("再接続"), 120, 6900, 900, 420);
    PBsysinit = button(client, QStringLiteral("設定環境の保存"), 1080, 6900, 1600, 420);
    PbES = button(client, QStringLiteral("UVランプ点灯"), 2740, 6900, 1400, 420);
    PbEE = button(client, QStringLiteral("ＵＶ消灯"), 4200, 6900, 1100, 420);
    PbCansel = button(client, QStringLiteral("キャンセル"), 5520, 6900, 1300, 420);
    PbExit = button(client, QStringLiteral("EXIT"), 6880, 6900, 1292, 420);

    // Below and right of the visible area.
    ESC = button(client, QStringLiteral("ESC"), 120, 7700, 600, 300);
    PbUS0 = button(client, QStringLiteral("US0/US1"), 800, 7700, 900, 300);
    PbUS2 = button(client, QStringLiteral("US2"), 1800, 7700, 600, 300);
    インテルる = button(client, QStringLiteral("インテルる"), 8500, 120, 1200, 300);
    MoniDSR = label(client, QStringLiteral("DSR"), 120, 8100, 600, 250);
    MoniCTS = label(client, QStringLiteral("CTS"), 800, 8100, 600, 250);
    MoniCD = label(client, QStringLiteral("CD"), 1480, 8100, 600, 250);
    MoniEOF = label(client, QStringLiteral("EOF"), 2160, 8100, 600, 250);
    MoniDTR = label(client, QStringLiteral("DTR＆RTS"), 2840, 8100, 1000, 250);
    for (QLabel *lamp : {MoniDSR, MoniCTS, MoniCD, MoniEOF, MoniDTR})
        lamp->setAutoFillBackground(true);
    Label9 = label(client, QStringLiteral("InBufferSize"), 120, 8400, 1200, 250);
    Label5 = label(client, QStringLiteral("Label5"), 1400, 8400, 800, 250);
    Label8 = label(client, QStringLiteral("InBufferCount"), 120, 8700, 1200, 250);
    Label3 = label(client, QStringLiteral("Label3"), 1400, 8700, 800, 250);
    Label21 = label(client, QStringLiteral("OutBufferCount"), 120, 9000, 1200, 250);
    Label22 = label(client, QStringLiteral("Label3"), 1400, 9000, 800, 250);
    Command1 = button(client, QStringLiteral("InBF書き出し"), 2400, 8400, 1200, 300);
    Command2 = button(client, QStringLiteral("InBF=0"), 2400, 8750, 1200, 300);
    Command3 = button(client, QStringLiteral("ETC"), 3700, 8400, 800, 300);
    Command4 = button(client, QStringLiteral("Command4"), 3700, 8750, 1000, 300);
    Label2 = label(client, QStringLiteral("Corvane Devices"), 8500, 600, 1600, 250);

    // Object names are the control names, so tests and tools find controls by them.
    const std::initializer_list<std::pair<QObject *, const char *>> named{
        {List1, "List1"},
        {Frame1, "Frame1"},
        {Combo1, "Combo1"},
        {Combo2, "Combo2"},
        {Frame2, "Frame2"},
        {Label7, "Label7"},
        {Label10, "Label10"},
        {Label11, "Label11"},
        {Option1, "Option1"},
        {Option2, "Option2"},
        {Option3, "Option3"},
        {TexResGoFile1, "TexResGoFile1"},
        {TexResGoFile2, "TexResGoFile2"},
        {PbResGo1, "PbResGo1"},
        {PbResGo2, "PbResGo2"},
        {Frame8, "Frame8"},
        {PbGoLoad, "PbGoLoad"},
        {PbLoadDir, "PbLoadDir"},
        {PbGoSave, "PbGoSave"},
        {PbSaveDir, "PbSaveDir"},
        {TexLoadDir, "TexLoadDir"},
        {TexSaveDir, "TexSaveDir"},
        {OpFileModeH, "OpFileModeH"},
        {OpFileModeS, "OpFileModeS"},
        {OpFileModeB, "OpFileModeB"},
        {Frame7, "Frame7"},
        {PbPG, "PbPG"},
        {PbCP, "PbCP"},
        {PbWT, "PbWT"},
        {PbRD, "PbRD"},
        {PbBL, "PbBL"},
        {PbER, "PbER"},
        {Frame6, "Frame6"},
        {PbCL, "PbCL"},
        {PbBD, "PbBD"},
        {DUMPS, "DUMPS"},
        {DUMPE, "DUMPE"},
        {Label19, "Label19"},
        {Label20, "Label20"},
        {Frame4, "Frame4"},
        {PbBuff, "PbBuff"},
        {Label14, "Label14"},
        {Label17, "Label17"},
        {Label18, "Label18"},
        {StBuffAdr, "StBuffAdr"},
        {OpBuffTypeL, "OpBuffTypeL"},
        {OpBuffTypeH, "OpBuffTypeH"},
        {Frame3, "Frame3"},
        {PbDevice, "PbDevice"},
        {Label23, "Label23"},
        {Label24, "Label24"},
        {Label25, "Label25"},
        {Label15, "Label15"},
        {TexDVS, "TexDVS"},
        {LbDevSetCode, "LbDevSetCode"},
        {LbDevEAddr, "LbDevEAddr"},
        {LbDevStr1, "LbDevStr1"},
        {LbDevStr2, "LbDevStr2"},
        {LbDevRom1, "LbDevRom1"},
        {LbDevRom2, "LbDevRom2"},
        {Shape2, "Shape2"},
        {Frame5, "Frame5"},
        {OpDevAModeA, "OpDevAModeA"},
        {OpDevAModeO, "OpDevAModeO"},
        {OpDevAModeE, "OpDevAModeE"},
        {Frame10, "Frame10"},
        {TexCMD, "TexCMD"},
        {PbCMD, "PbCMD"},
        {PbON, "PbON"},
        {PBsysinit, "PBsysinit"},
        {PbES, "PbES"},
        {PbEE, "PbEE"},
        {PbCansel, "PbCansel"},
        {PbExit, "PbExit"},
        {Label16, "Label16"},
        {Label13, "Label13"},
        {Label2, "Label2"},
        {ESC, "ESC"},
        {PbUS0, "PbUS0"},
        {PbUS2, "PbUS2"},
        {インテルる, "インテルる"},
        {MoniDSR, "MoniDSR"},
        {MoniCTS, "MoniCTS"},
        {MoniCD, "MoniCD"},
        {MoniEOF, "MoniEOF"},
        {MoniDTR, "MoniDTR"},
        {Label9, "Label9"},
        {Label8, "Label8"},
        {Label21, "Label21"},
        {Label5, "Label5"},
        {Label3, "Label3"},
        {Label22, "Label22"},
        {Command1, "Command1"},
        {Command2, "Command2"},
        {Command3, "Command3"},
        {Command4, "Command4"},
        {Lb232[0], "Lb232_0"},
        {Lb232[1], "Lb232_1"},
        {MenuFile, "MenuFile"},
        {MenuOption, "MenuOption"}};
    for (const auto &[object, name] : named)
        object->setObjectName(QString::fromUtf8(name));

    // Enter in these fields moves the focus to their button.
    for (QWidget *field : std::initializer_list<QWidget *>{
             TexCMD, TexDVS, StBuffAdr, OpBuffTypeH, OpBuffTypeL, TexLoadDir, TexSaveDir,
             TexResGoFile1, TexResGoFile2, DUMPS, DUMPE})
        field->installEventFilter(this);

    // Centred on the screen when first shown.
    if (QScreen *s = screen()) {
        const QRect area = s->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void Form1::connectHandlers() {
    // Handlers that wait are coroutines: the click starts them and they run on by themselves.
    auto task = [this](QPushButton *b, QCoro::Task<> (Form1::*handler)()) {
        connect(b, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
    };
    task(PbON, &Form1::PbON_Click);
    task(PbPG, &Form1::PbPG_Click);
    task(PbCP, &Form1::PbCP_Click);
    task(PbWT, &Form1::PbWT_Click);
    task(PbRD, &Form1::PbRD_Click);
    task(PbBL, &Form1::PbBL_Click);
    task(PbER, &Form1::PbER_Click);
    task(PbDevice, &Form1::PbDevice_Click);
    task(PbUS0, &Form1::PbUS0_Click);
    task(PbUS2, &Form1::PbUS2_Click);
    task(インテルる, &Form1::インテルる_Click);
    task(PbBuff, &Form1::PbBuff_Click);
    task(Command4, &Form1::Command4_Click);
    task(PbBD, &Form1::PbBD_Click);
    task(PbCL, &Form1::PbCL_Click);
    task(PbES, &Form1::PbES_Click);
    task(PbEE, &Form1::PbEE_Click);
    task(PbGoLoad, &Form1::PbGoLoad_Click);
    task(PbGoSave, &Form1::PbGoSave_Click);
    task(PbLoadDir, &Form1::PbLoadDir_Click);
    task(PbSaveDir, &Form1::PbSaveDir_Click);
    task(PbCMD, &Form1::PbCMD_Click);
    task(PbResGo1, &Form1::PbResGo1_Click);
    task(PbResGo2, &Form1::PbResGo2_Click);

    connect(PbCansel, &QPushButton::clicked, this, &Form1::PbCansel_Click);
    connect(ESC, &QPushButton::clicked, this, &Form1::ESC_Click);
    connect(PbExit, &QPushButton::clicked, this, &Form1::PbExit_Click);
    connect(PBsysinit, &QPushButton::clicked, this, &Form1::PBsysinit_Click);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(MenuReReadUtil, &QAction::triggered, this, &Form1::MenuReReadUtil_Click);
    connect(MenuApEnd, &QAction::triggered, this, &Form1::MenuApEnd_Click);
    connect(MenuVer, &QAction::triggered, this, &Form1::MenuVer_Click);
}

void Form1::Form_Load() {
    PbUnEn();
    EscFlag = false;
    List1->clear();
    MSComm1->discardOutput();
    MSComm1->discardInput();
    restoreSettings();
    StartUpWork = 3;
}

void Form1::AddList1(const QString &word) {
    if (List1->count() > 23)
        delete List1->takeItem(0);
    // Painting the log costs far more than a line: while lines come faster than the eye can follow,
    // the log is painted once every kLogPaintMs with all that came meanwhile.
    if (!m_logPaintHeld) {
        if (m_logPainted.isValid() && m_logPainted.elapsed() < kLogPaintMs) {
            m_logPaintHeld = true;
            List1->setUpdatesEnabled(false);
            QTimer::singleShot(int(kLogPaintMs - m_logPainted.elapsed()), this, [this] {
                m_logPaintHeld = false;
                List1->setUpdatesEnabled(true);
                m_logPainted.restart();
            });
        } else {
            m_logPainted.restart();
        }
    }
    List1->addItem(word);
    List1->scrollToBottom();
    Q_EMIT logLineAdded(word);
}

void Form1::PbExit_Click() {
    if (m_dataFile)
        m_dataFile->close();
    if (m_commandFile)
        m_commandFile->close();
    QCoreApplication::exit(0);
}

void Form1::MenuApEnd_Click() {
    PbExit_Click();
}

void Form1::closeEvent(QCloseEvent *event) {
    // Form_Unload: close the files an operation holds open, then end the program.
    if (m_dataFile)
        m_dataFile->close();
    if (m_commandFile)
        m_commandFile->close();
    event->accept();
    QCoreApplication::exit(0);
}

void Form1::MenuVer_Click() {
    auto *splash = new FrmSplash(this);
    splash->show();
}

void Form1::Command1_Click() {
    AddList1(fromCp932(MSComm1->readAll()));
}

void Form1::Command2_Click() {
    MSComm1->discardInput();
}

void Form1::Command3_Click() {
    AddList1(CommonDialog1.InitDir);
}

bool Form1::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            QPushButton *target = nullptr;
            if (watched == TexCMD)
                target = PbCMD;
            else if (watched == TexDVS)
                target = PbDevice;
            else if (watched == StBuffAdr || watched == OpBuffTypeH || watched == OpBuffTypeL)
                target = PbBuff;
            else if (watched == TexLoadDir)
                target = PbGoLoad;
            else if (watched == TexSaveDir)
                target = PbGoSave;
            else if (watched == TexResGoFile1)
                target = PbResGo1;
            else if (watched == TexResGoFile2)
                target = PbResGo2;
            else if (watched == DUMPS || watched == DUMPE)
                target = PbBD;
            if (target) {
                if (target->isEnabled())
                    target->setFocus(Qt::OtherFocusReason);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::setTextColor(QLabel *label, const QColor &color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

QColor Form1::textColor(const QLabel *label) {
    return label->palette().color(QPalette::WindowText);
}

void Form1::setBackColor(QLabel *label, const QColor &color) {
    if (backColor(label) == color)
        return;
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, color);
    label->setPalette(palette);
}

QColor Form1::backColor(const QLabel *label) {
    return label->palette().color(QPalette::Window);
}

void Form1::setOptionValue(QRadioButton *button, bool value) {
    if (value) {
        button->setChecked(true);
        return;
    }
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(true);
}

} // namespace corvane
