#include "report/column_titles.h"

namespace kinvar {

namespace {

struct Title {
  std::string_view column;
  std::string_view title;
};

struct TableTitle {
  std::string_view table;
  std::string_view column;
  std::string_view title;
};

// Where a table gives a column a meaning of its own.
constexpr TableTitle kTableTitles[] = {
    {"relationship", "value", "Relationship"},
    {"pairs", "value", "Relationship"},
    {"group_averages", "value", "Average relationship"},
    {"average_relatedness", "value", "Average relationship"},
    {"matrix_t", "value", "T"},
    {"ainverse", "value", "Element of A-inverse"},
    {"partial_inbreeding", "value", "Partial F"},
    {"generation_intervals", "years", "Interval"},
};

constexpr Title kTitles[] = {
    {"id", "ID"},
    {"sire", "Sire"},
    {"dam", "Dam"},
    {"group", "Group"},
    {"code", "Code"},
    {"sire_code", "Sire code"},
    {"dam_code", "Dam code"},
    {"f", "F"},
    {"f_predefined", "Predefined F"},
    {"ecg", "Equivalent complete generations"},
    {"longest_path", "Longest ancestral path"},
    {"sex", "Sex"},
    {"birth_date", "Birth date"},
    {"id1", "ID 1"},
    {"id2", "ID 2"},
    {"value", "Value"},
    {"figure", "Figure"},
    {"row", "Row"},
    {"col", "Column"},
    {"row_id", "Row ID"},
    {"col_id", "Column ID"},
    {"dii", "Segregation variance (dii)"},
    {"group1", "Group 1"},
    {"group2", "Group 2"},
    {"family", "Family"},
    {"ancestor", "Ancestor"},
    {"sire_side", "Generations on the sire's side"},
    {"dam_side", "Generations on the dam's side"},
    {"contribution", "Contribution"},
    {"path", "Path"},
    {"v1", "Share of mean F (v1)"},
    {"v2", "Share of mean coancestry (v2)"},
    {"pathway", "Pathway"},
    {"years", "Years"},
    {"pairs", "Pairs"},
    {"sd", "Standard deviation"},
    {"rank", "Rank"},
    {"members", "Members"},
    {"mean_f", "Mean F"},
    {"mean_ecg", "Mean equivalent complete generations"},
    {"fe", "Founder equivalent (fe)"},
    {"fa", "Effective number of ancestors (fa)"},
    {"ne", "Effective population size (Ne)"},
    {"completeness", "Pedigree completeness"},
    {"delta_f", "Rate of inbreeding (Delta F)"},
    {"fa_lower", "Lower bound of fa"},
    {"m", "Mendelian sampling (m)"},
    {"u", "As nodal common ancestor (u)"},
    {"v", "Founder's genes (v)"},
    {"above", "F above"},
    {"up_to", "F up to"},
    {"individuals", "Individuals"},
    {"generations", "Generations"},
    {"inbreds", "Inbreds"},
    {"founders", "Founders"},
    {"both_parents_known", "Both parents known"},
    {"no_progeny", "Without progeny"},
    {"unique_ancestors", "Distinct ancestors"},
    {"mean_f_inbreds", "Mean F of the inbreds"},
    {"max_f", "Highest F"},
    {"min_f", "Lowest F"},
    {"mean_relationship", "Mean relationship"},
    {"mean_relationship_without_self", "Mean relationship without self"},
    {"max_ecg", "Most equivalent complete generations"},
    {"min_ecg", "Fewest equivalent complete generations"},
    {"fa_ballou", "Ancestral inbreeding (Fa)"},
    {"g", "Purged inbreeding (g)"},
    {"fa_gene_drop", "Fa by gene dropping"},
    {"fa_gene_drop_se", "Standard error of Fa by gene dropping"},
    {"f_gene_drop", "F by gene dropping"},
    {"f_new", "New inbreeding"},
    {"f_old", "Old inbreeding"},
    {"founder", "Founder"},
    {"mk", "Mean kinship (MK)"},
    {"progeny", "Progeny"},
    {"offspring_f", "Offspring F"},
    {"part_of_f", "Part of F"},
    {"delta_gd", "Change of gene diversity (Delta GD)"},
    {"mk_sire", "Mean kinship of the sire"},
    {"mk_dam", "Mean kinship of the dam"},
    {"mk_difference", "Mean kinship difference"},
    {"above_max_f", "Above the highest F allowed"},
    {"ebv", "Breeding value (EBV)"},
    {"coancestry", "Coancestry"},
    {"matings", "Matings"},
};

}  // namespace

std::string_view ColumnTitle(std::string_view table, std::string_view column) {
  for (const TableTitle& t : kTableTitles)
    if (t.table == table && t.column == column) return t.title;
  for (const Title& t : kTitles)
    if (t.column == column) return t.title;
  return {};
}

std::string_view BooleanWord(bool value) { return value ? "yes" : "no"; }

}  // namespace kinvar
