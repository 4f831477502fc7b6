#include "app/form1.h"
#include "midi/midi_input.h"
#include "midi/midi_output.h"

void TForm1::FillDeviceLists() {
  cmbInput->clear();
  cmbOutput->clear();
  if (MidiInput1) {
    for (UINT i = 0; i < midiInGetNumDevs(); ++i) {
      MidiInput1->SetDeviceID(static_cast<WORD>(i));
      cmbInput->addItem(QString::fromStdString(MidiInput1->ProductName()));
    }
  }
  // The device mapper (-1) is not listed.
  for (UINT i = 0; i < midiOutGetNumDevs(); ++i) {
    MidiOutput1->SetDeviceID(static_cast<int>(i));
    cmbOutput->addItem(QString::fromStdString(MidiOutput1->ProductName()));
  }
  cmbInput->SetItemIndex(0);
  cmbOutput->SetItemIndex(0);
  OpenMidiPorts();
}

void TForm1::OpenMidiPorts() {
  if (MidiInput1 && cmbInput->ItemIndex() >= 0)
    MidiInput1->SetProductName(cmbInput->Text().toStdString());
  // The first device, mapper first, that is a MIDI port; the list's choice plays no part.
  MidiOutput1->SetTechnology(opt_MidiPort);
  cmbOutput->SetItemIndex(MidiOutput1->DeviceID());
  cmbOutput->SetText(QString::fromStdString(MidiOutput1->ProductName()));
  MidiOutput1->Open();  // a device that fails to open shows up at the first send
}

void TForm1::CloseMidiPorts() { MidiOutput1->Close(); }
