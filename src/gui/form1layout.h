#pragma once
// The main window's design: its controls under their design names, with their captions,
// fonts, places and tab order. What they do is Form1's business.

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QWidget;

namespace quillivar {

class FileList;
class StatusProgressBar;

// The design is laid out in twips; at 96 dots per inch 15 twips make a pixel.
constexpr int Px(int twips) { return (twips + 7) / 15; }

// The resolutions offered for the page images; 96 makes an A4 page 794 x 1123 pixels.
inline constexpr int kResolutions[] = {72, 96, 150, 200, 300, 600};
inline constexpr int kDefaultResolution = 96;
inline constexpr int kDefaultQuality = 75;

struct Form1Controls {
    FileList* ListView1 = nullptr;
    StatusProgressBar* ProgressBar1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QSlider* Slider1 = nullptr;
    QPushButton* PushButton1 = nullptr;
    QPushButton* PushButton4 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton3 = nullptr;
    QPushButton* PushButton5 = nullptr;
    QGroupBox* Frame4 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QLineEdit* Text1 = nullptr;
    QPushButton* PushButton6 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* Combo1 = nullptr;  // resolution of the page images
};

// Builds the design's controls on `form` (named Form1) and returns them.
Form1Controls BuildForm1(QWidget& form);

}  // namespace quillivar
