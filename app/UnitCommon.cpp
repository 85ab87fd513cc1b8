#include "app/UnitCommon.h"

#include "app/UnitForm.h"
#include "platform/runtime/System.h"

namespace mirt {

std::unique_ptr<TVoskScript> Story;
AnsiString CurrentMessage;
AnsiString LastImageName;

std::unique_ptr<TVoskScript> LoadStory()
{
    auto story = std::make_unique<TVoskScript>("dat\\story.txt", false);
    story->SetPageSize(1);
    story->SetPageHandler(OnStoryPage);
    story->AddCommand("#image", OnImageCommand);
    story->AddCommand("#button", OnButtonCommand);
    return story;
}

void StartStory()
{
    Randomize();
    CurrentMessage.clear();
    ChoiceLabel.clear();
    LastImageName.clear();
    Story = LoadStory();
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
    LastImageName = "dat\\" + Tokens[1];
    FormMain->Image1->LoadPicture(LastImageName);
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
