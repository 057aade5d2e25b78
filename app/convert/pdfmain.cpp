// scrivane-convert-pdf: see print/pdfconverter.h.
#include "print/pdfconverter.h"

int main(int argc, char* argv[]) {
    return scrivane::PdfConverterMain(argc, argv);
}
