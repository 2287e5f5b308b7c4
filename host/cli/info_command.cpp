// quorvel-host info: what the plug-in says about itself, as a report or as JSON.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>

#include "host/cli/command_options.h"
#include "host/cli/commands.h"
#include "host/loader/hex_text.h"
#include "host/loader/plugin_info.h"
#include "host/supervision/supervised_run.h"

namespace quorvel::host {

namespace {

// printf into a string, one line of the report at a time.
template <typename... Values>
void append(std::string& text, const char* format, Values... values) {
    char line[1024];
    std::snprintf(line, sizeof line, format, values...);
    text += line;
}

std::string jsonReport(const std::string& path, const PluginInfo& info) {
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
        {"uniqueId",
         {{"text", fourCharText(info.uniqueId)}, {"hex", hexText(info.uniqueId)}, {"value", info.uniqueId}}},
        {"interfaceVersion", info.interfaceVersion},
        {"version", info.version},
        {"category", {{"value", info.category}, {"name", categoryName(info.category)}}},
        {"inputs", info.inputs},
        {"outputs", info.outputs},
        {"flags", {{"value", info.flags}, {"hex", hexText(info.flags)}, {"names", flagNames(info.flags)}}},
        {"latency", info.latency},
        {"programs", info.programs},
        {"parameters", params},
        {"problems", info.problems},
    };
    // Texts from a plug-in need not be UTF-8: bad bytes become replacement characters.
    return report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

// The report as a table; texts from the plug-in with control characters escaped.
std::string textReport(const std::string& path, const PluginInfo& info) {
    std::string out;
    std::string flags;
    for (const std::string& name : flagNames(info.flags)) {
        flags += " " + name;
    }
    append(out, "Plug-in           %s\n", printableText(path).c_str());
    append(out, "Effect name       %s\n", printableText(info.effectName).c_str());
    append(out, "Vendor            %s\n", printableText(info.vendor).c_str());
    append(out, "Product           %s\n", printableText(info.product).c_str());
    append(out, "Vendor version    %d\n", info.vendorVersion);
    append(out, "Unique id         '%s' (%s)\n", fourCharText(info.uniqueId).c_str(), hexText(info.uniqueId).c_str());
    append(out, "Interface         %d\n", info.interfaceVersion);
    append(out, "Record version    %d\n", info.version);
    append(out, "Category          %s (%d)\n", categoryName(info.category).c_str(), info.category);
    append(out, "Channels          %d in, %d out\n", info.inputs, info.outputs);
    append(out, "Flags             %s%s\n", hexText(info.flags).c_str(), flags.c_str());
    append(out, "Latency           %d samples\n", info.latency);
    append(out, "Programs          %zu\n", info.programs.size());
    for (std::size_t p = 0; p < info.programs.size(); ++p) {
        append(out, "  %-5zu %s\n", p, printableText(info.programs[p]).c_str());
    }
    append(out, "Parameters        %zu\n", info.params.size());
    if (!info.params.empty()) {
        append(out, "  %-5s %-9s %-10s %-10s %-8s %s\n", "index", "title", "value", "text", "unit", "automatable");
        for (const ParamInfo& param : info.params) {
            append(out, "  %-5d %-9s %-10.6f %-10s %-8s %s\n", param.index, printableText(param.title).c_str(),
                   static_cast<double>(param.value), printableText(param.valueText).c_str(),
                   printableText(param.unit).c_str(), param.automatable ? "yes" : "no");
        }
    }
    return out;
}

// Separates the warnings from the report in the supervised work's answer; the warnings have
// their control characters escaped, so it cannot occur in them.
constexpr char reportStart = '\x1d';

// The supervised part: loads the plug-in and answers its warnings, reportStart and the report.
std::string describeSupervised(const InfoOptions& options, const std::string& /*unit*/) {
    SupervisedPlugin plugin(options.plugin);
    PluginInstance& instance = plugin.instance();
    const PluginInfo info = describePlugin(instance);
    instance.close();
    std::string warnings;
    for (const std::string& problem : info.problems) {
        warnings += printableText(problem) + "\n";
    }
    return warnings + reportStart +
           (options.json ? jsonReport(options.plugin, info) : textReport(options.plugin, info));
}

}  // namespace

int runInfo(const InfoOptions& options) {
    const SupervisedWork work = [&options](const std::string& unit) { return describeSupervised(options, unit); };
    const std::string reply = runSupervised(work, {}, "info", options.timeoutSeconds);
    const std::size_t split = reply.find(reportStart);
    std::fputs(reply.c_str() + split + 1, stdout);
    for (std::size_t start = 0; start < split;) {
        const std::size_t end = reply.find('\n', start);
        std::fprintf(stderr, "quorvel-host info: warning: %s\n", reply.substr(start, end - start).c_str());
        start = end + 1;
    }
    return 0;
}

Subcommand addInfoCommand(CLI::App& app) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* command =
        app.add_subcommand("info", "Show the plug-in's identity, channels, flags, programs and parameters");
    addPluginOption(*command, options->plugin);
    command->add_flag("--json", options->json, "Print JSON instead of a report");
    addTimeoutOption(*command, options->timeoutSeconds);
    return {command, [options]() { return runInfo(*options); },
            supervisedWork([options](const std::string& unit) { return describeSupervised(*options, unit); })};
}

}  // namespace quorvel::host
