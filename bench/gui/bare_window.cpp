// The reference for mirt's start-up figure: a bare 200 x 200 FLTK window,
// opened the way mirt opens its main window, that reports its first paint
// the same way (MIRT_TRACE).
#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/x.H>

#include <cstdio>
#include <ctime>

namespace {

class TBareWindow final : public Fl_Double_Window {
public:
    TBareWindow(int x, int y) : Fl_Double_Window(x, y, 200, 200, "bare") { end(); }
    void flush() override
    {
        Fl_Double_Window::flush();
        if (painted_) return;
        painted_ = true;
        XSync(fl_display, False);
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        std::fprintf(stderr, "mirt-trace window-paint %lld\n",
                     static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
        std::fflush(stderr);
    }
    void ShowAt()
    {
        size_range(200, 200, 200, 200);
        force_position(1);
        show();
    }

private:
    bool painted_ = false;
};

} // namespace

int main()
{
    int sx = 0, sy = 0, sw = 0, sh = 0;
    Fl::screen_xywh(sx, sy, sw, sh, 0);
    TBareWindow window((sw - 200) / 2, (sh - 200) / 2);
    window.ShowAt();
    return Fl::run();
}
