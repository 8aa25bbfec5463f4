#include "src/volteon/drvprp/drvprp.h"

#include "src/volteon/drvprp/aw8prp.h"
#include "src/volteon/drvprp/mmeprp.h"
#include "src/volteon/drvprp/mmmidprp.h"

void InstallDriverDialogs() {
  SetMultiMediaDialog(&ShowMultiMediaPrp);
  SetAudioWerkDialog(&ShowAudioWerkPrp);
  SetMultiMediaMidiDialog(&ShowMultiMediaMidiPrp);
}
