#include <CLI/CLI.hpp>
#include <QApplication>
#include <iostream>
#include <memory>

#include "Formmain.h"
#include "Unit2.h"
#include "sim/SimulatedModule.h"

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvanta"));

    CLI::App cli{"Corvanta: configures wireless serial (RF) transceiver modules.", "corvanta"};
    std::vector<std::string> ports;
    bool simulate = false;
    cli.add_option("--port", ports, "A serial device to offer besides the ones found (repeatable)");
    cli.add_flag("--simulate", simulate, "Offer a simulated module (9600 baud, no parity, band 2, channel 5) first");
    try {
        cli.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return cli.exit(e) == 0 ? 0 : 2;
    }

    // Declared before the windows, so it outlives the port that talks to it.
    std::unique_ptr<corvanta::sim::SimulatedModule> module;
    corvanta::ui::PortSources sources;
    sources.extra = ports;
    if (simulate) {
        module = std::make_unique<corvanta::sim::SimulatedModule>();
        std::string why;
        if (!module->Start(&why)) {
            std::cerr << "corvanta: cannot start the simulated module: " << why << '\n';
            return 1;
        }
        sources.first.push_back(module->DevicePath());
    }

    corvanta::ui::TForm1 form1(sources);
    corvanta::ui::TForm2 form2(form1, &form1);
    form1.setDialog(&form2);
    form1.show();
    return QApplication::exec();
}
