// marula: the launcher program.
#include "launcher.h"

int main(int argc, char** argv) {
    return marula::run_program("marula", argc, argv, [](marula::Runtime& rt) { marula::run_launcher(rt); });
}
