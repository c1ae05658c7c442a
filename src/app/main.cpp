#include "app/quillfen_app.h"

int main(int argc, char** argv) {
    qf::CQuillfenApp app;
    return app.Run(argc, argv);
}
