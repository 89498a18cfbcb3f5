#include "shell/person_editor.h"

#include <string_view>

#include "platform/wide_text.h"

namespace korvo {

int LibraryPersonEditor::EditPerson(bool existing, baseDataStruct* person) {
    wchar_t* property = nullptr;
    wchar_t* sdata = nullptr;
    const int result = dlgModel_(1, existing ? 1 : 0, person, &property, &sdata);
    if (result == 1 && property && sdata) {
        setinfo(person, kThisNode, "SDATA", BytesFromWide({sdata, TarnelTextLength(sdata)}));
        setinfo(person, kThisNode, "PROPERTY",
                BytesFromWide({property, TarnelTextLength(property)}));
    }
    freeText_(property);
    freeText_(sdata);
    return result == 1 && (!property || !sdata) ? 2 : result;
}

}  // namespace korvo
