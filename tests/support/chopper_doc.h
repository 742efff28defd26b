// "Chopping Table" documents of locale GB in their plain krxml form, as
// someone writes them by hand. Header-only and standard-library-only, so
// that benchmarks can build the same documents as the tests.
#pragma once

#include <cstdint>
#include <string>

namespace tq_test {

// One row of the character table.
inline std::string char_row(const char* desc, uint32_t value, const char* cls, const char* op) {
  return std::string("<record>\n<field column=\"Char Description\">") + desc +
         "</field>\n<field column=\"Char Value\">" + std::to_string(value) +
         "</field>\n<field column=\"Char Classification\">" + cls + "</field>\n<field column=\"Char Operation\">" +
         op + "</field>\n</record>\n";
}

// The document's start: its type, locale GB and the encoding named.
inline std::string chopping_table_head(const std::string& encoding) {
  return std::string(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<krxml>\n"
             "<file type=\"Chopping Table\" version=\"7.0\">\n"
             "<property name=\"Locale ISO Code\">GB</property>\n"
             "<property name=\"Locale Description\">Global</property>\n"
             "<property name=\"Locale Code\">800010</property>\n"
             "<property name=\"Encoding\">") +
         encoding + "</property>\n";
}

// The character table of row_count char_row()s, and the document's end.
inline std::string char_table(const std::string& rows, int row_count) {
  return "<data length=\"" + std::to_string(row_count) +
         "\">\n<layout width=\"4\">"
         "<column type=\"string\">Char Description</column><column type=\"int\">Char Value</column>"
         "<column type=\"string\">Char Classification</column><column type=\"string\">Char Operation</column>"
         "</layout>\n" +
         rows + "</data>\n</file>\n</krxml>\n";
}

// The whole document: implicit separation and rules on, the initial flag S
// and one regex rule with its prerequisite expression.
inline std::string chopper_document(const std::string& encoding, const std::string& rows, int row_count,
                                    const std::string& regex = "[0-9]+", const std::string& prereq = "S") {
  return chopping_table_head(encoding) +
         "<property name=\"Implicit Separation\">On</property>\n"
         "<property name=\"Use Rules\">Yes</property>\n"
         "<property name=\"Vault Object Name\">Hand</property>\n"
         "<include name=\"Chopping Rules\">\n<file type=\"Chopping Rules\" version=\"1.0\">\n"
         "<include name=\"Initial Flags\">\n<file type=\"Initial Flags\" version=\"1.0\">\n<data length=\"1\">\n"
         "<layout width=\"1\"><column type=\"string\">Name</column></layout>\n"
         "<record><field column=\"Name\">S</field></record>\n</data>\n</file>\n</include>\n"
         "<include name=\"Rule List\">\n<file type=\"Rule List\" version=\"1.0\">\n<data length=\"1\">\n"
         "<layout width=\"8\"><column type=\"string\">Method</column><column type=\"string\">Regex</column>"
         "<column type=\"string\">Vocab</column><column type=\"string\">Vocab Cat</column>"
         "<column type=\"string\">Prerequisite Expression</column><column type=\"string\">Output Flags</column>"
         "<column type=\"int\">Options</column><column type=\"string\">Notes</column></layout>\n"
         "<record><field column=\"Method\">Regex</field><field column=\"Regex\">" + regex + "</field>"
         "<field column=\"Vocab\"></field><field column=\"Vocab Cat\"></field>"
         "<field column=\"Prerequisite Expression\">" + prereq + "</field><field column=\"Output Flags\"></field>"
         "<field column=\"Options\">1</field><field column=\"Notes\">first number</field></record>\n"
         "</data>\n</file>\n</include>\n</file>\n</include>\n" +
         char_table(rows, row_count);
}

}  // namespace tq_test
