// A program that only opens the window, shows a line, beeps and leaves: the
// window tests start it under displays and sound systems of every kind.
#include <cstdlib>

#include "session/session.h"

int main(int argc, char** argv) {
    return marula::run_program(marula::ProgramKind::standalone, "window_probe", argc, argv,
                               [](marula::Runtime& rt, marula::Session&) {
        rt.locate(0, 0);
        rt.print_line("画面の確認");
        rt.present();
        rt.beep();
        std::exit(0);  // without the farewell pause of a real program's end
    });
}
