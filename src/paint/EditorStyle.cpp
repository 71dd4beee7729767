#include "EditorStyle.h"

namespace paint {

QString editorStyleSheet()
{
    return QStringLiteral(
        "QDialog { background: #eef3f8; color: #172033; }"
        "QFrame#FacsimilePaintFrame { background: #f6f9fc; border: 1px solid #cbd7e6; border-radius: 12px; }"
        "QLabel#FacsimileTitle { color: #0f172a; font-size: 17px; font-weight: 700; }"
        "QLabel#FacsimileHint, QLabel#FacsimilePickHint { color: #64748b; }"
        "QLabel#FacsimilePickHint { background: rgba(15, 23, 42, 210); color: white; border-radius: 9px;"
        " padding: 8px 12px; }"
        "QToolBar { background: #edf3f9; border: 1px solid #d8e2ee; border-radius: 10px; spacing: 4px; padding: 5px; }"
        "QToolBar::separator { width: 1px; background: #d1dbe8; margin: 5px 6px; }"
        "QToolButton { background: transparent; border: 1px solid transparent; border-radius: 8px; padding: 4px;"
        " color: #172033; }"
        "QToolButton:hover { background: #e7eef7; border-color: #c7d7eb; }"
        "QToolButton:checked { background: #dcecff; border-color: #7fb0ff; color: #0b57d0; }"
        "QPushButton { background: #ffffff; border: 1px solid #cbd7e6; border-radius: 8px; padding: 7px 16px;"
        " color: #172033; }"
        "QPushButton:hover { background: #f7fbff; border-color: #9bb8dc; }"
        "QPushButton#PrimaryAction { background: #1473e6; border-color: #1473e6; color: white; font-weight: 600; }"
        "QPushButton#PaintAction { padding: 7px 12px; text-align: left; }"
        // The docks' buttons are 22 px high: the padding above would hide their text.
        "QDockWidget QPushButton { padding: 0px 2px; }"
        "QDockWidget { titlebar-close-icon: none; titlebar-normal-icon: none; background: #f6f9fc;"
        " border: 1px solid #d8e2ee; border-radius: 10px; color: #172033; }"
        "QDockWidget::title { background: #edf3f9; padding: 7px 8px; border-top-left-radius: 10px;"
        " border-top-right-radius: 10px; font-weight: 600; }"
        "QListWidget, QComboBox, QSpinBox { background: #ffffff; border: 1px solid #cbd7e6; border-radius: 7px;"
        " padding: 4px; }"
        "QSlider::groove:horizontal { height: 5px; background: #d7e1ed; border-radius: 3px; }"
        "QSlider::handle:horizontal { width: 14px; margin: -5px 0; background: #1473e6; border-radius: 7px; }");
}

} // namespace paint
