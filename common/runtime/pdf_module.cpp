// The entry of the PDF module: hands the runtime its two writers.
#include "module_entries.h"
#include "pdf_writer.h"

extern "C" __attribute__((visibility("default"))) void marula_pdf_writers(marula::PdfWriters* out) {
    out->page = static_cast<std::optional<std::string> (*)(const marula::PrintedPage&, int)>(&marula::write_page_pdf);
    out->screen = static_cast<std::optional<std::string> (*)(const std::uint8_t*, int)>(&marula::write_screen_pdf);
}

MARULA_CHECK_MODULE_ENTRY(marula::modules::kPdf, marula_pdf_writers);
