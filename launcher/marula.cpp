// marula: the launcher program.
#include "launcher.h"

int main(int argc, char** argv) {
    return marula::run_program(marula::ProgramKind::launcher, "marula", argc, argv,
                               [](marula::Runtime& rt, marula::Session& session) { marula::run_launcher(rt, session); });
}
