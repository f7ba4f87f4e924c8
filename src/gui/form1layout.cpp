#include "form1layout.h"

#include "filelist.h"
#include "windowtexts.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

namespace quillivar {

namespace {

namespace words = texts::window;

QFont ArialBold(double points) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

QPushButton* MakeButton(const char* name, const QString& caption, QWidget* parent, int left, int top, int width,
                        int height) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(Px(left), Px(top), Px(width), Px(height));
    button->setFont(ArialBold(11.25));
    QPalette colours = button->palette();
    colours.setColor(QPalette::Button, Qt::white);
    button->setPalette(colours);
    return button;
}

}  // namespace

Form1Controls BuildForm1(QWidget& form) {
    Form1Controls c;
    form.setObjectName(QStringLiteral("Form1"));
    form.setWindowTitle(words::kDesignCaption);
    form.setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                        Qt::WindowCloseButtonHint);
    form.setFixedSize(Px(8040), Px(7575));
    form.setFont(ArialBold(9));
    QPalette white = form.palette();
    white.setColor(QPalette::Window, Qt::white);
    form.setPalette(white);
    form.setAutoFillBackground(true);

    c.ListView1 = new FileList(&form);
    c.ListView1->setObjectName(QStringLiteral("ListView1"));
    c.ListView1->setGeometry(Px(120), Px(120), Px(7800), Px(2535));
    c.ListView1->setToolTip(words::kListTooltip);

    c.ProgressBar1 = new StatusProgressBar(&form);
    c.ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    c.ProgressBar1->setGeometry(Px(120), Px(7070), Px(7800), Px(405));
    c.ProgressBar1->setRange(0, 100);
    c.ProgressBar1->setValue(0);
    c.ProgressBar1->setAlignment(Qt::AlignCenter);
    c.ProgressBar1->setFormat(words::kProgressIdle);

    c.Frame1 = new QGroupBox(words::kFrame1, &form);
    c.Frame1->setObjectName(QStringLiteral("Frame1"));
    c.Frame1->setGeometry(Px(120), Px(3690), Px(7800), Px(855));
    c.Slider1 = new QSlider(Qt::Horizontal, c.Frame1);
    c.Slider1->setObjectName(QStringLiteral("Slider1"));
    c.Slider1->setGeometry(Px(120), Px(240), Px(7560), Px(495));
    c.Slider1->setRange(1, 100);
    c.Slider1->setSingleStep(1);
    c.Slider1->setPageStep(5);
    c.Slider1->setTickPosition(QSlider::TicksBelow);
    c.Slider1->setTickInterval(5);
    c.Slider1->setValue(kDefaultQuality);

    c.PushButton1 = MakeButton("PushButton1", words::kPushButton1, &form, 120, 2750, 3840, 405);
    c.PushButton4 = MakeButton("PushButton4", words::kPushButton4, &form, 4080, 2750, 3840, 405);
    c.PushButton2 = MakeButton("PushButton2", words::kPushButton2, &form, 120, 6550, 7800, 405);
    c.PushButton3 = MakeButton("PushButton3", words::kPushButton3, &form, 120, 3260, 3840, 405);
    c.PushButton5 = MakeButton("PushButton5", words::kPushButton5, &form, 4080, 3260, 3840, 405);

    c.Frame4 = new QGroupBox(words::kFrame4, &form);
    c.Frame4->setObjectName(QStringLiteral("Frame4"));
    c.Frame4->setGeometry(Px(120), Px(4620), Px(7800), Px(1815));
    c.Frame3 = new QGroupBox(c.Frame4);
    c.Frame3->setObjectName(QStringLiteral("Frame3"));
    c.Frame3->setGeometry(Px(480), Px(510), Px(6840), Px(810));
    c.Text1 = new QLineEdit(c.Frame3);
    c.Text1->setObjectName(QStringLiteral("Text1"));
    c.Text1->setGeometry(Px(240), Px(300), Px(5670), Px(345));
    c.PushButton6 = MakeButton("PushButton6", words::kPushButton6, c.Frame3, 6000, 300, 600, 345);
    c.Option1 = new QRadioButton(words::kOption1, c.Frame4);
    c.Option1->setObjectName(QStringLiteral("Option1"));
    c.Option1->setGeometry(Px(240), Px(300), Px(3615), Px(255));
    c.Option1->setChecked(true);
    c.Option2 = new QRadioButton(words::kOption2, c.Frame4);
    c.Option2->setObjectName(QStringLiteral("Option2"));
    c.Option2->setGeometry(Px(240), Px(1410), Px(3615), Px(255));

    // Beside the second option, where the design leaves room: the resolution of the images.
    c.Label1 = new QLabel(words::kLabel1, c.Frame4);
    c.Label1->setObjectName(QStringLiteral("Label1"));
    c.Label1->setGeometry(Px(4500), Px(1410), Px(1200), Px(255));
    c.Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    c.Combo1 = new QComboBox(c.Frame4);
    c.Combo1->setObjectName(QStringLiteral("Combo1"));
    c.Combo1->setGeometry(Px(5760), Px(1350), Px(1560), Px(345));
    for (const int dotsPerInch : kResolutions) c.Combo1->addItem(words::kDotsPerInch.arg(dotsPerInch), dotsPerInch);
    c.Combo1->setCurrentIndex(c.Combo1->findData(kDefaultResolution));

    // The design's tab order.
    QWidget* order[] = {c.ListView1, c.ProgressBar1, c.Frame1,      c.Slider1, c.PushButton1, c.PushButton4,
                        c.PushButton2, c.PushButton3, c.PushButton5, c.Frame4,  c.Frame3,      c.Text1,
                        c.PushButton6, c.Option1,     c.Option2,     c.Combo1};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
    return c;
}

}  // namespace quillivar
