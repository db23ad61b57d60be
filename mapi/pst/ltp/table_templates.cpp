#include "mapi/pst/ltp/table_templates.h"

namespace qc::mapi::pst::columns {

const Tags& Hierarchy() {
  static const Tags tags{0x0E300102, 0x0E330014, 0x0E340102, 0x0E380003, 0x3001001F, 0x36020003,
                         0x36030003, 0x360A000B, 0x3613001F, 0x66350003, 0x66360003};
  return tags;
}

const Tags& Contents() {
  static const Tags tags{0x00170003, 0x001A001F, 0x00360003, 0x0037001F, 0x00390040, 0x0042001F,
                         0x0057000B, 0x0058000B, 0x0070001F, 0x00710102, 0x0E03001F, 0x0E04001F,
                         0x0E060040, 0x0E070003, 0x0E080003, 0x0E170003, 0x0E300102, 0x0E330014,
                         0x0E340102, 0x0E380003, 0x0E3C0102, 0x0E3D0102, 0x10970003, 0x30080040,
                         0x30130102, 0x65C60003};
  return tags;
}

const Tags& AssocContents() {
  static const Tags tags{0x001A001F, 0x0E070003, 0x0E170003, 0x3001001F, 0x6800001F,
                         0x6803000B, 0x68051003, 0x682F001F, 0x70030003, 0x70040102,
                         0x70050102, 0x7006001F, 0x70070003};
  return tags;
}

const Tags& SearchContents() {
  static const Tags tags{0x00170003, 0x001A001F, 0x00360003, 0x0037001F, 0x0042001F, 0x0057000B,
                         0x0058000B, 0x0E03001F, 0x0E04001F, 0x0E05001F, 0x0E060040, 0x0E070003,
                         0x0E080003, 0x0E170003, 0x0E2A000B, 0x30080040, 0x67F10003};
  return tags;
}

const Tags& ReceiveFolders() {
  static const Tags tags{0x001A001F, 0x66050003};
  return tags;
}

const Tags& OutgoingQueue() {
  static const Tags tags{0x00390040, 0x0E100003, 0x0E140003};
  return tags;
}

const Tags& Attachments() {
  static const Tags tags{0x0E200003, 0x3704001F, 0x37050003, 0x370B0003};
  return tags;
}

const Tags& Recipients() {
  static const Tags tags{0x0C150003, 0x0E0F000B, 0x0FF90102, 0x0FFE0003, 0x0FFF0102, 0x3001001F,
                         0x3002001F, 0x3003001F, 0x300B0102, 0x39000003, 0x39FF001F, 0x3A40000B};
  return tags;
}

const Tags& ChangeHistory() {
  static const Tags tags{0x0E330014, 0x0E370102, 0x0E380003};
  return tags;
}

const Tags& Tombstones() {
  static const Tags tags{0x001A001F, 0x0E300102, 0x0E310102, 0x0E330014,
                         0x0E340102, 0x0E380003, 0x0E3E0102};
  return tags;
}

const Tags& TombstoneDates() {
  static const Tags tags{0x0E330014, 0x30070040};
  return tags;
}

const Tags& TopHierarchy() {
  static const Tags tags{0x0E300102, 0x0E330014, 0x0E340102, 0x0E380003, 0x10F4000B, 0x3001001F,
                         0x30200102, 0x30210102, 0x36020003, 0x36030003, 0x360A000B, 0x3613001F,
                         0x36DA0102, 0x36DE0003, 0x66350003, 0x66360003, 0x66700102, 0x672D0003,
                         0x67300014, 0x67310003, 0x6732001F, 0x6733001F, 0x68530003};
  return tags;
}

const Tags& MailContents() {
  static const Tags tags{0x00150040, 0x00170003, 0x001A001F, 0x00300040, 0x00360003, 0x0037001F,
                         0x00390040, 0x0042001F, 0x0057000B, 0x0058000B, 0x0070001F, 0x00710102,
                         0x0E03001F, 0x0E04001F, 0x0E060040, 0x0E070003, 0x0E080003, 0x0E170003,
                         0x0E2B0003, 0x0E300102, 0x0E330014, 0x0E340102, 0x0E380003, 0x0E3C0102,
                         0x0E3D0102, 0x0EA20003, 0x1035001F, 0x10800003, 0x10900003, 0x10950003,
                         0x10970003, 0x30080040, 0x300B0102, 0x30130102, 0x36020003, 0x65C60003,
                         0x6619001F, 0x6E010003, 0x80100003, 0x80110003, 0x8012000B, 0x8013101F,
                         0x80140003, 0x8015000B, 0x8016000B, 0x8017000B, 0x80180102, 0x80190040,
                         0x801A0040, 0x801B0040, 0x801C000B, 0x801D001F, 0x801E000B, 0x801F0003,
                         0x80200003, 0x80210003, 0x80220003};
  return tags;
}

const Tags& SearchRootHierarchy() {
  static const Tags tags{0x0E300102, 0x0E330014, 0x0E340102, 0x0E380003, 0x3001001F, 0x30070040,
                         0x30200102, 0x36020003, 0x36030003, 0x360A000B, 0x3613001F, 0x36DA0102,
                         0x66350003, 0x66360003, 0x66700102, 0x672D0003, 0x67300014, 0x67310003,
                         0x6732001F, 0x6733001F, 0x68530003};
  return tags;
}

const Tags& CommonViewsAssocContents() {
  static const Tags tags{0x001A001F, 0x0E070003, 0x0E170003, 0x3001001F, 0x30080040, 0x6800001F,
                         0x6803000B, 0x68051003, 0x682F001F, 0x68340003, 0x683A0003, 0x68410003,
                         0x68420102, 0x68430102, 0x68460003, 0x68470003, 0x68480003, 0x68530003,
                         0x70030003, 0x70040102, 0x70050102, 0x7006001F, 0x70070003};
  return tags;
}

const Tags& MessageAttachments() {
  static const Tags tags{0x0E200003, 0x3001001F, 0x3703001F, 0x3704001F, 0x37050003, 0x3707001F,
                         0x370B0003, 0x370E001F, 0x3712001F, 0x3713001F, 0x37140003, 0x7FFE000B};
  return tags;
}

const Tags& RootAssocContents() {
  static const Tags tags = [] {
    Tags t = AssocContents();
    t.insert(t.end(), {0x30080040, 0x685D0003, 0x7C060003});
    return t;
  }();
  return tags;
}

}  // namespace qc::mapi::pst::columns
