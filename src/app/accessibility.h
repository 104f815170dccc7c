#pragma once

class QWidget;

// Names the controls under `root` for screen readers and other assistive
// tools, which read a control's accessible name and description. A control
// with a caption of its own (a button's or a clickable label's text) is left
// to Qt, which reads the caption as it stands, so a caption that changes
// (the list's "DODAJ TELEFON" becoming "SZUKAJ TELEFON") or that the language
// file translates is read as shown. Every other control without a name gets
// one: a few named outright below, the rest from the caption label before or
// above an input, or for a picture from its tooltip or the caption it
// carries. Descriptions come from the table where the control's role says
// more than its name. Names and descriptions already set are kept; Qt's own
// inner widgets (a date field's text box, a grid's scroll bars) and separate
// windows are left alone.
void NameControlsForAssistiveTools(QWidget* root);
