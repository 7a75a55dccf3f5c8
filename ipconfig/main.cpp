// brevan: the IP configuration utility. Reads Config.ini beside the program,
// shows the sheet, and ends when the sheet closes (OK, Cancel or the window's
// close button); nothing is written to a box on the way out.
#include "ipconfig/brevan_program.h"
#include "platform/endpoint.h"
#include "platform/program_dir.h"
#include "platform/timing.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv) {
    using namespace vnk;
    QApplication app(argc, argv);
    ipconfig::QtUiServices ui;

    // POSIX sockets need no start-up call, so there is no "sockets could not be
    // started" case here. A broken VNK_* setting, though, would fall back to the
    // real broadcast address: refuse to start instead.
    std::string error;
    const platform::Endpoint endpoint = platform::Endpoint::fromEnvironment(&error);
    if (!error.empty()) {
        std::fprintf(stderr, "brevan: %s\n", error.c_str());
        ui.appMessage(QString::fromStdString(error));
        return 2;
    }

    ipconfig::BrevanProgram program(platform::programDirectory(), endpoint, platform::Timing::real(), ui);
    ui.setParentWindow(&program.sheet());
    program.sheet().exec();
    return 0;
}
