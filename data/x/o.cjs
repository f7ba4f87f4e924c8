/* Quillivar's skin: a Qt style sheet, read at start-up when this file is present. */

QWidget#Form1 {
    background-color: #eef2f7;
}

QGroupBox {
    border: 1px solid #b8c4d4;
    border-radius: 4px;
    margin-top: 9px;
    background-color: #eef2f7;
}
QGroupBox::title {
    subcontrol-origin: margin;
    left: 8px;
    padding: 0 3px;
    color: #1f4e79;
}
QGroupBox#Frame3 {
    margin-top: 0;
    border-style: dashed;
}

QPushButton {
    color: #1b2a3a;
    background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 #ffffff, stop: 1 #dde6f0);
    border: 1px solid #8fa3ba;
    border-radius: 4px;
}
QPushButton:hover {
    background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 #ffffff, stop: 1 #c9daf0);
    border-color: #2e75b6;
}
QPushButton:pressed {
    background-color: #c0d3ea;
}
QPushButton:disabled {
    color: #8a96a3;
}
QPushButton#PushButton2 {
    color: #ffffff;
    background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 #3b7fc0, stop: 1 #1f4e79);
    border-color: #1f4e79;
}
QPushButton#PushButton2:hover {
    background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 #4a8fd0, stop: 1 #2a5f90);
}

QTreeWidget {
    background-color: #ffffff;
    border: 1px solid #8fa3ba;
    selection-background-color: #2e75b6;
    selection-color: #ffffff;
}
QHeaderView::section {
    background-color: #dde6f0;
    color: #1b2a3a;
    border: none;
    border-bottom: 1px solid #b8c4d4;
    padding: 2px 4px;
}

QLineEdit {
    background-color: #ffffff;
    border: 1px solid #8fa3ba;
    border-radius: 3px;
    padding: 1px 4px;
}
QLineEdit:disabled {
    background-color: #e4e8ee;
    color: #8a96a3;
}

QRadioButton {
    background-color: #eef2f7;
}

QProgressBar {
    border: 1px solid #8fa3ba;
    border-radius: 4px;
    background-color: #ffffff;
    color: #1b2a3a;
    text-align: center;
}
QProgressBar::chunk {
    background-color: #9dc3e6;
}
