#include "app/UnitCommon.h"

#include "app/UnitForm.h"
#include "platform/runtime/System.h"

namespace mirt {

std::unique_ptr<TVoskScript> Story;
AnsiString CurrentMessage;

void StartStory()
{
    Randomize();
    Story = std::make_unique<TVoskScript>("dat\\story.txt", false);
    Story->SetPageSize(1);
    Story->SetPageHandler(OnStoryPage);
    Story->AddCommand("#image", OnImageCommand);
    Story->AddCommand("#button", OnButtonCommand);
    Story->Advance();
}

void StopStory() { Story.reset(); }

void OnStoryPage(const TStringDynArray& Page)
{
    if (Page.Empty()) return;
    CurrentMessage = Page[0];
}

void OnImageCommand(const TStringDynArray& Tokens)
{
    if (Tokens.Length() < 2) return;
    FormMain->Image1->LoadPicture("dat\\" + Tokens[1]);
}

void OnButtonCommand(const TStringDynArray& Tokens)
{
    if (Tokens.Length() < 3) return;
    gui::TButton& button = *FormMain->Button1;
    button.SetCaption(Tokens[1]);
    button.SetLeft(Random(TFormMain::PictureSize - button.Width()));
    button.SetTop(Random(TFormMain::PictureSize - button.Height()));
    button.SetVisible(true);
    ChoiceLabel = Tokens[2];
}

} // namespace mirt
