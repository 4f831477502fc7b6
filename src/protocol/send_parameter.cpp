#include "app/form1.h"
#include "protocol/paced_send.h"
#include "protocol/parameter_message.h"

void TForm1::SendParameter(int device, int parameter, int value,
                           const std::function<void()>& nearEnd) {
  SendPacedMessage(*MidiOutput1, BuildParameterMessage(device, parameter, value), nearEnd);
}
