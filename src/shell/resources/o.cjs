/* Quellbrook main window skin: a Qt style sheet. Soft grey-blue surfaces,
   rounded frames and buttons, one accent colour for focus and progress. */

QWidget#Form1 {
    background-color: #eef1f5;
}

QGroupBox {
    background-color: #f7f9fb;
    border: 1px solid #b8c2cf;
    border-radius: 5px;
    margin-top: 8px;
    color: #23344d;
}
QGroupBox::title {
    subcontrol-origin: margin;
    subcontrol-position: top left;
    left: 8px;
    padding: 0 3px;
    background-color: #eef1f5;
}

QLabel, QCheckBox, QRadioButton {
    background-color: transparent;
    color: #23344d;
}
QCheckBox::indicator, QRadioButton::indicator {
    width: 11px;
    height: 11px;
    background-color: #ffffff;
    border: 1px solid #7f8da0;
}
QCheckBox::indicator {
    border-radius: 2px;
}
QRadioButton::indicator {
    border-radius: 6px;
}
QCheckBox::indicator:checked, QRadioButton::indicator:checked {
    background-color: qradialgradient(cx:0.5, cy:0.5, radius:0.5, fx:0.5, fy:0.5,
                                      stop:0 #3d79c2, stop:0.55 #3d79c2, stop:0.65 #ffffff);
    border-color: #3d79c2;
}
QCheckBox::indicator:checked {
    background-color: #3d79c2;
    border: 2px solid #ffffff;
}
QCheckBox::indicator:disabled, QRadioButton::indicator:disabled {
    background-color: #e4e8ee;
    border-color: #b8c2cf;
}
/* A disabled option still shows which one is chosen, greyed. */
QRadioButton::indicator:checked:disabled {
    background-color: qradialgradient(cx:0.5, cy:0.5, radius:0.5, fx:0.5, fy:0.5,
                                      stop:0 #8d97a5, stop:0.55 #8d97a5, stop:0.65 #e4e8ee);
    border-color: #8d97a5;
}
QCheckBox::indicator:checked:disabled {
    background-color: #8d97a5;
    border: 2px solid #e4e8ee;
}
QCheckBox:disabled, QRadioButton:disabled {
    color: #8d97a5;
}

QPushButton {
    background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #dde4ed);
    border: 1px solid #9aa8ba;
    border-radius: 4px;
    color: #1d2b40;
    padding: 1px 2px;
}
QPushButton:hover {
    background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #cfe0f3);
    border-color: #3d79c2;
}
QPushButton:pressed {
    background-color: #c3d6ec;
}
QPushButton:focus {
    border: 1px solid #3d79c2;
}
QPushButton:disabled {
    color: #8d97a5;
}

QLineEdit {
    background-color: #ffffff;
    border: 1px solid #9aa8ba;
    border-radius: 3px;
    padding: 0 3px;
    selection-background-color: #3d79c2;
}
QLineEdit:focus {
    border-color: #3d79c2;
}

QProgressBar {
    background-color: #ffffff;
    border: 1px solid #9aa8ba;
    border-radius: 4px;
    color: #1d2b40;
    text-align: center;
}
QProgressBar::chunk {
    background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #8fc1f0, stop:1 #4f8fd6);
    border-radius: 3px;
}
