#include "app/UnitForm.h"

#include "app/ProgramIcon.h"
#include "app/UnitCommon.h"
#include "framework/ShowText.h"

namespace mirt {

TFormMain* FormMain = nullptr;

namespace {

gui::TFormDesign MainDesign()
{
    gui::TFormDesign design;
    design.Caption = "mirt";
    design.ClientWidth = 737;
    design.ClientHeight = 510;
    design.Left = 198;
    design.Top = 178;
    design.Font = {gui::PGothicFace, 12, gui::SHIFTJIS_CHARSET};
    design.Icon = ProgramIcon();
    return design;
}

} // namespace

TFormMain::TFormMain() : TVoskForm(MainDesign())
{
    PageMain = Add<gui::TPanel>();
    PageMain->SetBounds(24, 24, 500, 300);

    Image1 = PageMain->Add<gui::TImage>();
    Image1->SetBounds(0, 0, PictureSize, PictureSize);
    Image1->SetVisible(true);
    Image1->OnClick = [this](gui::TControl* Sender) { Image1Click(Sender); };

    Button1 = PageMain->Add<gui::TButton>();
    Button1->SetBounds(128, 144, 57, 33);
    Button1->SetCaption("Button1");
    Button1->SetFont({gui::PMinchoFace, 11, gui::SHIFTJIS_CHARSET});
    Button1->OnClick = [this](gui::TControl* Sender) { Button1Click(Sender); };
}

TFormMain::~TFormMain() { StopStory(); }

void TFormMain::Create()
{
    SetClientSize(PictureSize, PictureSize);
    TVoskForm::Create();
    StartStory();
    ShowPage(*PageMain, true);
}

void TFormMain::NextMessage()
{
    Button1->SetVisible(false);
    ShowText(CurrentMessage);
    Story->Advance();
}

void TFormMain::Image1Click(gui::TControl*) { NextMessage(); }

void TFormMain::Button1Click(gui::TControl*)
{
    Story->JumpToChoice();
    NextMessage();
}

} // namespace mirt
