// quorvel-host info: what the plug-in says about itself, as a report or as JSON.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>

#include "host/commands.h"
#include "host/plugin_info.h"

namespace {

std::string hex32(std::int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

void printJson(const std::string& path, const PluginInfo& info) {
    nlohmann::json params = nlohmann::json::array();
    for (const ParamInfo& param : info.params) {
        params.push_back({{"index", param.index},
                          {"title", param.title},
                          {"value", param.value},
                          {"valueText", param.valueText},
                          {"unit", param.unit},
                          {"automatable", param.automatable}});
    }
    const nlohmann::json report = {
        {"plugin", path},
        {"effectName", info.effectName},
        {"vendor", info.vendor},
        {"product", info.product},
        {"vendorVersion", info.vendorVersion},
        {"uniqueId", {{"text", fourCharText(info.uniqueId)}, {"hex", hex32(info.uniqueId)}, {"value", info.uniqueId}}},
        {"interfaceVersion", info.interfaceVersion},
        {"version", info.version},
        {"category", {{"value", info.category}, {"name", categoryName(info.category)}}},
        {"inputs", info.inputs},
        {"outputs", info.outputs},
        {"flags", {{"value", info.flags}, {"hex", hex32(info.flags)}, {"names", flagNames(info.flags)}}},
        {"latency", info.latency},
        {"programs", info.programs},
        {"parameters", params},
        {"problems", info.problems},
    };
    // Texts from a plug-in need not be UTF-8: bad bytes become replacement characters.
    std::cout << report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

void printReport(const std::string& path, const PluginInfo& info) {
    std::string flags;
    for (const std::string& name : flagNames(info.flags)) {
        flags += " " + name;
    }
    std::printf("Plug-in           %s\n", path.c_str());
    std::printf("Effect name       %s\n", info.effectName.c_str());
    std::printf("Vendor            %s\n", info.vendor.c_str());
    std::printf("Product           %s\n", info.product.c_str());
    std::printf("Vendor version    %d\n", info.vendorVersion);
    std::printf("Unique id         '%s' (%s)\n", fourCharText(info.uniqueId).c_str(), hex32(info.uniqueId).c_str());
    std::printf("Interface         %d\n", info.interfaceVersion);
    std::printf("Record version    %d\n", info.version);
    std::printf("Category          %s (%d)\n", categoryName(info.category).c_str(), info.category);
    std::printf("Channels          %d in, %d out\n", info.inputs, info.outputs);
    std::printf("Flags             %s%s\n", hex32(info.flags).c_str(), flags.c_str());
    std::printf("Latency           %d samples\n", info.latency);
    std::printf("Programs          %zu\n", info.programs.size());
    for (std::size_t p = 0; p < info.programs.size(); ++p) {
        std::printf("  %-5zu %s\n", p, info.programs[p].c_str());
    }
    std::printf("Parameters        %zu\n", info.params.size());
    if (!info.params.empty()) {
        std::printf("  %-5s %-9s %-10s %-10s %-8s %s\n", "index", "title", "value", "text", "unit", "automatable");
        for (const ParamInfo& param : info.params) {
            std::printf("  %-5d %-9s %-10.6f %-10s %-8s %s\n", param.index, param.title.c_str(),
                        static_cast<double>(param.value), param.valueText.c_str(), param.unit.c_str(),
                        param.automatable ? "yes" : "no");
        }
    }
    for (const std::string& problem : info.problems) {
        std::fprintf(stderr, "quorvel-host: warning: %s\n", problem.c_str());
    }
}

}  // namespace

int runInfo(const InfoOptions& options) {
    PluginLibrary library(options.plugin);
    PluginInstance instance(requireEntry(library, options.plugin));
    instance.open();
    const PluginInfo info = describePlugin(instance);
    instance.close();
    if (options.json) {
        printJson(options.plugin, info);
    } else {
        printReport(options.plugin, info);
    }
    return 0;
}

PluginEntry requireEntry(PluginLibrary& library, const std::string& path) {
    if (!library.loaded()) {
        throw HostError("cannot load the plug-in '" + path + "': " + library.error());
    }
    PluginEntry entry = library.entry();
    if (entry == nullptr) {
        throw HostError("'" + path + "' is no plug-in: " + library.error());
    }
    return entry;
}
