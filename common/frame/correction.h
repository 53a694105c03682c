// The correction dialogues: which cell (table programs) or which field
// (form programs) the user wants to correct. The program then shows the
// old value in colour 2, reads the new one, recomputes and redraws.
//
// Table programs (the table key bar):
//
//     TableCorrection rules;
//     rules.columns = 7;
//     rules.needs_row = [](int c) { return c < 5; };            // optional
//     rules.row_fits = [&](int c, int r) { return ...; };       // required
//     rules.has_rows = !legs.empty();                          // optional
//     std::optional<CellChoice> cell = ask_table_cell(rt, rules);
//     // cell->column in 1 … 7, cell->row the row typed (or -1 when none)
//
// Form programs (the form key bars):
//
//     int field = ask_field(rt, 13);   // 1 … 13
#pragma once

#include <functional>
#include <optional>

#include "runtime/runtime.h"

namespace marula {

struct TableCorrection {
    int columns = 7;  // column numbers 1 … columns are accepted
    // Whether a column asks for a row; empty: every column does.
    std::function<bool(int column)> needs_row;
    // Whether a column can be chosen now; empty: every one of 1 … columns
    // can. A refused column (one whose rows are all missing, say) shows the
    // wrong-entry notice and the flow starts again.
    std::function<bool(int column)> column_fits;
    // Whether a row number fits the chosen column. Called only with whole
    // numbers; a refused row shows the wrong-entry notice and the row is
    // asked again (the column stays chosen).
    std::function<bool(int column, int row)> row_fits;
    // Whether the table holds any row yet. With none, nothing is there to
    // correct: a column that asks for a row has its row refused once with
    // the wrong-entry notice, and no cell is chosen.
    bool has_rows = true;
    // Blanks printed from column 0 of row 23 before the column question.
    int blanks = 53;
};

struct CellChoice {
    int column = 0;
    int row = -1;  // -1 when the column asks no row
};

// The whole number a typed value stands for, or nothing when it is not a
// whole number within [low, high] (so 2.5, 0 and 8 never choose column 1 … 7).
std::optional<int> whole_number_in(double value, int low, int high);

// The table flow: erases the key bar (white box (0,400)-(640,432)), asks
// "　　横の訂正番号  " at column 0 of row 23 until one of 1 … columns is
// typed (wrong-entry notice and the flow again otherwise), then, unless the
// column needs none, "   縦の訂正番号  " until row_fits accepts the row.
// Returns nothing when the table has no rows yet (see has_rows): the key
// bar comes back rather than the row being asked for ever.
std::optional<CellChoice> ask_table_cell(Runtime& rt, const TableCorrection& rules);

// The form flow: erases the key bar (white box (20,412)-(630,431)), prints
// 57 blanks from column 0 of row 23 and asks "　　訂正番号   " until one of
// 1 … fields is typed; anything else shows the wrong-entry notice (form
// ending) and asks again.
int ask_field(Runtime& rt, int fields);

}  // namespace marula
