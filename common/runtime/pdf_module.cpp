// The entry of the PDF module: hands the runtime its two writers.
#include "pdf_writer.h"

extern "C" __attribute__((visibility("default"))) void marula_pdf_writers(marula::PdfWriters* out) {
    out->page = &marula::write_page_pdf;
    out->screen = &marula::write_screen_pdf;
}
