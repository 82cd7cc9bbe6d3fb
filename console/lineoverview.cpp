#include "lineoverview.h"
LineOverview::LineOverview(const ProcessImage *, QWidget *parent) : QWidget(parent) { setMinimumHeight(60); }
