#include "clicklabel.h"

clicklabel::clicklabel(QWidget *parent) : QLabel(parent, Qt::WindowFlags()) {}

void clicklabel::mousePressEvent(QMouseEvent *)
{
    emit clickPressBrowseFile();
    emit clickPressUpdate();
}

void clicklabel::mouseReleaseEvent(QMouseEvent *)
{
    emit clickReleaseBrowseFile();
    emit clickReleaseUpdate();
}
