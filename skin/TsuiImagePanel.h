#pragma once
// The picture panel of the tool bar: a container whose background is a picture, here the JPEG
// banner tiled from the panel's top-left corner.
//
//     auto *panel = new TsuiImagePanel(toolBar);
//     panel->SetDrawStyle(suiTile);
//     panel->SetPicture(LoadJpeg(QString::fromLatin1(BannerResource)));

#include "TsuiCustomPanel.h"

class TsuiImagePanel : public TsuiCustomPanel {
    Q_OBJECT
public:
    explicit TsuiImagePanel(QWidget *parent = nullptr);
    ~TsuiImagePanel() override;

    using TsuiCustomPanel::AutoSize;
    using TsuiCustomPanel::DrawStyle;
    using TsuiCustomPanel::Picture;
    using TsuiCustomPanel::SetAutoSize;
    using TsuiCustomPanel::SetDrawStyle;
    using TsuiCustomPanel::SetPicture;
};
