/* Larkspan skin: a calm, flat look for the main window.
   Backgrounds of the window, labels, check boxes, option buttons and frames are
   left to the program (the button-face colour), so it can change them itself. */


QPushButton {
    color: #1d2733;
    background-color: #f7f9fb;
    border: 1px solid #9aa8b8;
    border-radius: 4px;
    padding: 5px 12px;
    min-height: 18px;
}
QPushButton:hover {
    background-color: #e3eef9;
    border-color: #3d7cc9;
}
QPushButton:pressed {
    background-color: #c9dcf2;
}
QPushButton:focus {
    border: 2px solid #3d7cc9;
    padding: 4px 11px;
}
QPushButton:disabled {
    color: #7a8591;
    background-color: #eceff2;
    border-color: #c3cad2;
}

QLineEdit, QComboBox {
    color: #1d2733;
    background-color: #ffffff;
    border: 1px solid #9aa8b8;
    border-radius: 3px;
    padding: 3px 6px;
    selection-background-color: #3d7cc9;
    selection-color: #ffffff;
}
QLineEdit:focus, QComboBox:focus {
    border: 1px solid #3d7cc9;
}
QLineEdit:disabled, QComboBox:disabled {
    color: #7a8591;
    background-color: #eceff2;
}
QComboBox QAbstractItemView {
    color: #1d2733;
    background-color: #ffffff;
    selection-background-color: #3d7cc9;
    selection-color: #ffffff;
}

QGroupBox {
    border: 1px solid #b4bfcc;
    border-radius: 5px;
    margin-top: 14px;
    padding-top: 6px;
}
QGroupBox::title {
    subcontrol-origin: margin;
    subcontrol-position: top left;
    left: 10px;
    padding: 0 4px;
    color: #1f4f8a;
    font-weight: bold;
}

QTreeView, QListView, QTableView {
    color: #1d2733;
    background-color: #ffffff;
    alternate-background-color: #f3f6f9;
    border: 1px solid #9aa8b8;
    selection-background-color: #cfe2f7;
    selection-color: #1d2733;
}
QHeaderView::section {
    color: #1d2733;
    background-color: #e6ebf0;
    border: none;
    border-right: 1px solid #c3cad2;
    border-bottom: 1px solid #9aa8b8;
    padding: 4px 6px;
    font-weight: bold;
}

QProgressBar {
    color: #1d2733;
    background-color: #ffffff;
    border: 1px solid #9aa8b8;
    border-radius: 4px;
    text-align: center;
    min-height: 20px;
}
QProgressBar::chunk {
    background-color: #8fc1ef;
    border-radius: 3px;
}

QToolTip {
    color: #1d2733;
    background-color: #fffbe6;
    border: 1px solid #9aa8b8;
}
