#include "point_list.h"

#include "screen.h"

namespace marula {

std::string ask_list_name(Runtime& rt, int column, std::string_view lead) {
    clear_prompt_row(rt);
    rt.locate(column, kPromptRow);
    rt.color(kPromptColor, kStyleNormal);
    rt.print(lead);
    rt.color(kWarningColor, kStyleMessage);
    rt.print("＊");
    rt.color(kPromptColor, kStyleNormal);
    rt.print("を入力する。） ");
    std::string name = rt.input_text("");
    clear_prompt_row(rt);
    return name;
}

}  // namespace marula
