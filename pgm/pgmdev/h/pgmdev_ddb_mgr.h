// The two embedded name databases: the grammar maps and the OPN table. Internal to the library.
#ifndef PGMDEV_DDB_MGR_H
#define PGMDEV_DDB_MGR_H

#include <map>
#include <string>
#include <vector>

// An ordered map from a key to its list of names, in the order of the blob.
typedef std::map<std::string, std::vector<std::string>> GRAMMAR_MAP;

class PGMDEV_DDB_GRAMMAR_MGR {
 public:
  enum PGMDEV_DDB_GRAMMAR_ENUM {
    PACKAGE_GRAMMAR = 0,        // package name -> full part names
    PGM_GRAMMAR = 1,            // pgm name -> package names
    PGM_PCF = 2,                // pcf name -> pgm names
    PGM_FAMILY_PCF = 3,         // family pcf name -> pgm names
    DEV_PCF = 4,                // pcf name -> catalogue device names
    DEV_FAMILY_PCF = 5,         // family pcf name -> catalogue device names
    DEVICE_PCF_FAMILY_PCF = 6,  // family pcf name -> pcf names
    FAMILY = 7,                 // family name -> pcf names
    MAX = 8
  };

  static PGMDEV_DDB_GRAMMAR_MGR* get_mgr();
  static void delete_mgr();

  static std::string get_mapping_key(const std::string& name, PGMDEV_DDB_GRAMMAR_ENUM type);
  static std::string get_package_grammar(const std::string& name, bool empty_on_miss);
  static std::string get_pgm_grammar(const std::string& name, bool empty_on_miss);
  static std::string get_pgm_pcf(const std::string& name);
  static std::string get_pgm_family_pcf(const std::string& name);
  static std::string get_dev_pcf(const std::string& name);
  static std::string get_dev_family_pcf(const std::string& name);
  static std::string get_device_pcf_family_pcf(const std::string& name);
  static std::string get_family(const std::string& name);
  static std::vector<std::string> get_dev_pcf_list(const std::string& pcf);

  PGMDEV_DDB_GRAMMAR_MGR();
  ~PGMDEV_DDB_GRAMMAR_MGR();

  GRAMMAR_MAP* get_map(PGMDEV_DDB_GRAMMAR_ENUM type);
  void standardize_name(std::string& name);
  std::string get_mapping_key(const std::string& name, GRAMMAR_MAP* mapping);
  std::vector<std::string> get_key_mapping(const std::string& key, GRAMMAR_MAP* mapping);
  std::string get_string(unsigned int& index, const unsigned char* data, unsigned int data_size);
  void get_mapping(GRAMMAR_MAP*& map, unsigned int& index, const unsigned char* data,
                   unsigned int data_size);

  GRAMMAR_MAP* m_maps[MAX];
  static PGMDEV_DDB_GRAMMAR_MGR* m_mgr;
};

class PGMDEV_DDB_OPN_MGR {
 public:
  static PGMDEV_DDB_OPN_MGR* get_mgr();
  static void delete_mgr();

  static unsigned int get_opn_enum(unsigned int dev_enum);
  static unsigned int get_dev_opn_enum(unsigned int opn_enum);

  PGMDEV_DDB_OPN_MGR();
  ~PGMDEV_DDB_OPN_MGR();

  unsigned int opn_enum(unsigned int dev_enum);
  unsigned int dev_opn_enum(unsigned int opn_enum);

  std::vector<unsigned int>* M_MAP;
  static PGMDEV_DDB_OPN_MGR* m_mgr;
};

#endif  // PGMDEV_DDB_MGR_H
