// `lathewind params`: the parameters as the effect declares them through the host, one line each
// (the width curve's stored default on a second line, ready for a scene's {"flat": ...}).
#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli_common.h"
#include "core/number_text.h"
#include "core/session.h"
#include "params/param_listing.h"
#include "params/param_store.h"

namespace lwcli {

using lwhost::DoubleText;
using lwhost::FloatText;

namespace {

constexpr double kFixedOne = 65536.0;  // 1.0 in 16.16 fixed point

std::string Hex(long value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "0x%lX", value);
  return buffer;
}

// Names of the flag bits set in `flags`, after the number: "0x82 (control, don't erase control)".
std::string FlagText(long flags, const std::vector<std::pair<long, const char*>>& names) {
  std::string text = Hex(flags);
  std::string known;
  for (const auto& [bit, name] : names) {
    if ((flags & bit) != 0) {
      known += (known.empty() ? "" : ", ") + std::string(name);
    }
  }
  return known.empty() ? text : text + " (" + known + ")";
}

std::string Choice(const std::string& list, int value) {
  std::istringstream choices(list);
  std::string choice;
  for (int i = 1; std::getline(choices, choice, '|'); ++i) {
    if (i == value) {
      return choice;
    }
  }
  return "?";
}

// What the declaration says beyond index, label and type.
std::string Details(const PF_ParamDef& def, const std::string& text) {
  std::string out = "id " + std::to_string(def.uu.id);
  switch (def.param_type) {
    case PF_Param_FLOAT_SLIDER: {
      const PF_FloatSliderDef& s = def.u.fs_d;
      out += "  default " + DoubleText(s.value) + "  valid " + FloatText(s.valid_min) + " to " +
             FloatText(s.valid_max) + "  slider " + FloatText(s.slider_min) + " to " +
             FloatText(s.slider_max) + "  precision " + std::to_string(s.precision);
      if ((s.display_flags & PF_ValueDisplayFlag_PERCENT) != 0) {
        out += "  percent";
      }
      break;
    }
    case PF_Param_ANGLE:
      out += "  default " + DoubleText(def.u.ad.value / kFixedOne) + " degrees (" +
             Hex(def.u.ad.value) + ")";
      if (def.u.ad.valid_min < def.u.ad.valid_max) {
        out += "  valid " + DoubleText(def.u.ad.valid_min / kFixedOne) + " to " +
               DoubleText(def.u.ad.valid_max / kFixedOne);
      }
      break;
    case PF_Param_POPUP:
      out += "  default " + std::to_string(def.u.pd.value) + " (" + Choice(text, def.u.pd.value) +
             ")  choices " + std::to_string(def.u.pd.num_choices) + ": " + text;
      break;
    case PF_Param_LAYER:
      out += "  default none";
      break;
    case PF_Param_PATH:
      out += "  default none";
      break;
    case PF_Param_ARBITRARY_DATA:
      out += "  data id " + std::to_string(def.u.arb_d.id) + "  control " +
             std::to_string(def.ui_width) + " x " + std::to_string(def.ui_height);
      break;
    case PF_Param_BUTTON:
      out += "  text \"" + text + "\"";
      break;
    default:
      break;
  }
  if (def.ui_flags != 0) {
    out +=
        "  ui flags " + FlagText(def.ui_flags, {{PF_PUI_CONTROL, "control"},
                                                {PF_PUI_DISABLED, "disabled"},
                                                {PF_PUI_DONT_ERASE_CONTROL, "don't erase control"},
                                                {PF_PUI_INVISIBLE, "invisible"}});
  }
  if (def.flags != 0) {
    out += "  flags " + FlagText(def.flags, {{PF_ParamFlag_CANNOT_TIME_VARY, "cannot vary"},
                                             {PF_ParamFlag_CANNOT_INTERP, "cannot interpolate"},
                                             {PF_ParamFlag_SUPERVISE, "supervise"}});
  }
  return out;
}

std::string HexBytes(const std::vector<uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

int RunParams(bool json) {
  lwhost::Session session(PluginPath());
  const lwhost::CommandResult setup = session.Send(PF_Cmd_PARAMS_SETUP);
  if (setup.err != PF_Err_NONE) {
    return ReportEffectError(std::cerr, "Parameter set-up", setup.err);
  }
  lwhost::ParamStore store(session);
  if (json) {
    std::cout << lwhost::DeclaredParamsJson(store);
    return kExitOk;
  }
  char line[160];
  std::snprintf(line, sizeof line, "%2d  %-28s %-14s %s", 0, "(layer carrying the effect)", "layer",
                "supplied by the host");
  std::cout << line << "\n";
  for (int index = 1; index < store.Count(); ++index) {
    const PF_ParamDef& def = store.Declaration(index);
    const std::string label = def.name[0] != '\0' ? def.name : "(no label)";
    std::snprintf(line, sizeof line, "%2d  %-28s %-14s ", index, label.c_str(),
                  lwhost::ParamTypeName(def.param_type));
    std::cout << line << Details(def, store.DeclarationText(index)) << "\n";
    if (def.param_type == PF_Param_ARBITRARY_DATA) {
      std::vector<uint8_t> flat;
      const PF_Err err = store.Flatten(index, &flat);
      std::cout << "    default (stored form): "
                << (err == PF_Err_NONE ? HexBytes(flat)
                                       : "unavailable, error " + std::to_string(err))
                << "\n";
    }
  }
  std::cout << setup.out.num_params << " parameters in the array (index 0 included); "
            << session.CustomUIs().size() << " custom UI registration(s)";
  for (const PF_CustomUIInfo& info : session.CustomUIs()) {
    std::cout << ", events " << Hex(info.events);
  }
  std::cout << "\n";
  return kExitOk;
}

}  // namespace

Subcommand AddParamsCommand(CLI::App& app) {
  CLI::App* params =
      app.add_subcommand("params", "List the effect's parameters as it declares them");
  auto json = std::make_shared<bool>(false);
  params->add_flag("--json", *json, "Print a JSON array, one object per parameter");
  return {params, [json] { return RunParams(*json); }};
}

}  // namespace lwcli
