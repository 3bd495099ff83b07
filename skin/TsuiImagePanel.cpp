#include "TsuiImagePanel.h"

TsuiImagePanel::TsuiImagePanel(QWidget *parent) : TsuiCustomPanel(parent) {}

TsuiImagePanel::~TsuiImagePanel() = default;
