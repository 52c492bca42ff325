// Writes the Kdenlive descriptions of the two frei0r plug-ins, made from the effect's own
// declarations, so that Kdenlive shows each parameter with its label, range, unit, default and
// choices instead of a bare number from 0 to 1.
//
//   lathewind_kdenlive_effects EFFECT.so OUT_FOLDER
//     -> OUT_FOLDER/effects/frei0r_lathewind.xml      (the filter, an effect in Kdenlive)
//        OUT_FOLDER/transitions/frei0r_lathewind_over.xml  (the mixer, a transition)
//   lathewind_kdenlive_effects EFFECT.so --table
//     -> the frei0r parameters as a Markdown table on standard output (docs/hosts.md)
//
// Kdenlive shows a frei0r double d as d x factor between min and max. A slider whose range
// starts at 0 is shown in its own units (factor = the range's end); any other range, and the
// angles, are shown as percent of their span, the span named in the label.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "core/session.h"
#include "params/param_store.h"
#include "params/unit_params.h"

namespace {

namespace fs = std::filesystem;

std::string Xml(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Number(double value) {
  std::ostringstream out;
  out.precision(15);
  out << value;
  return out.str();
}

void WriteParam(std::ostream& out, const lwhost::UnitParam& param) {
  const std::string name = Xml(param.name);
  switch (param.kind) {
    case lwhost::UnitParamKind::kPopup: {
      std::string values;
      std::string shown;
      const size_t n = param.choices.size();
      for (size_t i = 0; i < n; ++i) {
        values += (i == 0 ? "" : ";") + Number(n > 1 ? static_cast<double>(i) / (n - 1) : 0.0);
        shown += (i == 0 ? "" : ",") + Xml(param.choices[i]);
      }
      out << "    <parameter type=\"list\" name=\"" << name << "\" default=\""
          << Number(param.unitDefault) << "\" paramlist=\"" << values << "\">\n"
          << "        <paramlistdisplay>" << shown << "</paramlistdisplay>\n";
      break;
    }
    case lwhost::UnitParamKind::kSlider:
    case lwhost::UnitParamKind::kAngle: {
      const bool ownUnits = param.kind == lwhost::UnitParamKind::kSlider && param.min == 0.0;
      const double factor = ownUnits ? param.max : 100.0;
      const std::string suffix =
          param.kind == lwhost::UnitParamKind::kAngle ? "" : (param.percent ? " %" : "");
      out << "    <parameter type=\"animated\" name=\"" << name << "\" default=\""
          << Number(param.unitDefault) << "\" min=\"0\" max=\"" << Number(factor) << "\" factor=\""
          << Number(factor) << "\" decimals=\"" << (ownUnits ? param.precision : 1)
          << "\" suffix=\"" << (ownUnits ? suffix : " %") << "\">\n";
      if (!ownUnits) {
        const std::string unit = param.kind == lwhost::UnitParamKind::kAngle ? " degrees" : suffix;
        out << "        <name>" << name << " (0 % = " << Number(param.min) << unit
            << ", 100 % = " << Number(param.max) << unit << ")</name>\n";
        out << "    </parameter>\n";
        return;
      }
      break;
    }
  }
  out << "        <name>" << name << "</name>\n";
  out << "    </parameter>\n";
}

void WriteDescription(const fs::path& file, const std::string& element, const std::string& tag,
                      const std::string& title, const std::string& description,
                      const std::vector<lwhost::UnitParam>& params) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file);
  out << "<?xml version=\"1.0\"?>\n<!DOCTYPE kpartgui>\n"
      << "<" << element << " LC_NUMERIC=\"C\" tag=\"" << tag << "\" id=\"" << tag << "\">\n"
      << "    <name>" << title << "</name>\n"
      << "    <description>" << description << "</description>\n"
      << "    <author>Corvane</author>\n"
      << "    <parameter type=\"url\" name=\"scene\" default=\"\" filter=\"*.json\">\n"
      << "        <name>Scene file</name>\n    </parameter>\n"
      << "    <parameter type=\"keywords\" name=\"path\" default=\"\" paramlist=\"\">\n"
      << "        <name>Path (SVG path data in frame pixels)</name>\n    </parameter>\n";
  for (const lwhost::UnitParam& param : params) {
    WriteParam(out, param);
  }
  out << "</" << element << ">\n";
  if (!out) {
    throw std::runtime_error("cannot write " + file.string());
  }
}

void WriteTable(std::ostream& out, const std::vector<lwhost::UnitParam>& params) {
  out << "| # | frei0r name | type | 0 to 1 maps onto | default |\n|---|---|---|---|---|\n"
      << "| 0 | scene | string | a scene file | empty |\n"
      << "| 1 | path | string | SVG path data in frame pixels | empty |\n";
  int number = 2;
  for (const lwhost::UnitParam& param : params) {
    out << "| " << number++ << " | " << param.name << " | double | ";
    switch (param.kind) {
      case lwhost::UnitParamKind::kSlider:
        out << Number(param.min) << " to " << Number(param.max) << (param.percent ? " %" : "");
        break;
      case lwhost::UnitParamKind::kAngle:
        out << "-180 to 180 degrees";
        break;
      case lwhost::UnitParamKind::kPopup:
        for (size_t i = 0; i < param.choices.size(); ++i) {
          out << (i == 0 ? "" : ", ") << param.choices[i] << " ("
              << Number(param.choices.size() > 1
                            ? static_cast<double>(i) / (param.choices.size() - 1)
                            : 0.0)
              << ")";
        }
        break;
    }
    out << " | " << Number(std::round(param.unitDefault * 1e6) / 1e6) << " |\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: lathewind_kdenlive_effects EFFECT.so OUT_FOLDER | --table\n";
    return 2;
  }
  try {
    std::vector<lwhost::UnitParam> params;
    {
      lwhost::Session session(argv[1]);
      session.GlobalSetup();
      if (session.Send(PF_Cmd_PARAMS_SETUP).err != PF_Err_NONE) {
        std::cerr << "the effect's parameter set-up failed\n";
        return 1;
      }
      const lwhost::ParamStore store(session);
      params = lwhost::UnitParams(store);
    }
    if (std::string(argv[2]) == "--table") {
      WriteTable(std::cout, params);
      return 0;
    }
    const fs::path folder = argv[2];
    WriteDescription(folder / "effects" / "frei0r_lathewind.xml", "effect", "frei0r.lathewind",
                     "Lathewind", "Wraps the clip along a mask path as a ribbon", params);
    WriteDescription(folder / "transitions" / "frei0r_lathewind_over.xml", "transition",
                     "frei0r.lathewind_over", "Lathewind Over",
                     "Wraps the second clip along a mask path as a ribbon over the first", params);
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}
