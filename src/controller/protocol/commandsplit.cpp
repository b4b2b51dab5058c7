// The controller's command text helpers: the split and the clean-up of command and reply texts into
// Rcmd0..Rcmd5, over the pure functions of commandtext.h.

#include "controller/unitcontroller.h"
#include "text/commandtext.h"
#include "text/datafile.h"

namespace corvane {

void UnitController::DiviCCommand(QString &ContCommand) {
    const CommandFields f = divideCommand(ContCommand);
    Rcmd0 = f.field[0];
    Rcmd1 = f.field[1];
    Rcmd2 = f.field[2];
    Rcmd3 = f.field[3];
    Rcmd4 = f.field[4];
    Rcmd5 = f.field[5];
}

QString UnitController::ReMakeCmd(QString &ContCommand) {
    return reMakeCmd(ContCommand);
}

QString UnitController::splitFileArgument(QString RemoteCMD) {
    DiviCCommand(RemoteCMD);
    Rcmd2 = ReMakeCmd(Rcmd2);
    Rcmd3 = ReMakeCmd(Rcmd3);
    Rcmd4 = ReMakeCmd(Rcmd4);
    return joinDrivePath(Rcmd0, Rcmd1);
}

} // namespace corvane
