#pragma once

class CDialogBase;

// What a screen reader and an on-screen keyboard learn from a screen built
// from its template: every field and list is the buddy of the label on its
// row, so it is named by that label's shown text; the logo is named by the
// caption; the number field is described by the format shown under it; and
// each field asks for the keyboard its typing rule calls for.
void makeAccessible(CDialogBase& screen);
