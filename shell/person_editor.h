// Editing one person of the address book. The program's editor calls the person editor
// library (tarnel/tarnel.h); tests use scripted editors.
#pragma once

#include "store/node.h"
#include "tarnel/tarnel.h"

namespace korvo {

class PersonEditor {
  public:
    virtual ~PersonEditor() = default;
    // Shows the editor over `person` (`existing` false: a new, empty person). On 1 (OK) the
    // person's SDATA and property text have been replaced by the edited ones; any other result
    // leaves the node as it was.
    virtual int EditPerson(bool existing, baseDataStruct* person) = 0;
};

// The editor of the library: DlgModel's texts come back as UTF-8 and are freed with the
// library's own function on every path.
class LibraryPersonEditor : public PersonEditor {
  public:
    LibraryPersonEditor(DlgModelFunction dlgModel, TarnelFreeFunction freeText)
        : dlgModel_(dlgModel), freeText_(freeText) {}
    int EditPerson(bool existing, baseDataStruct* person) override;

  private:
    DlgModelFunction dlgModel_;
    TarnelFreeFunction freeText_;
};

}  // namespace korvo
