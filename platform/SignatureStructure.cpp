#include "platform/SignatureStructure.h"

#include <algorithm>
#include <cstring>

namespace {

TCodeSignature Verdict(TSignatureStatus status, const QString& why) {
    return {status, QString(), why};
}

TCodeSignature Broken(const char* why) {
    return Verdict(TSignatureStatus::Broken, QString::fromLatin1(why));
}

}  // namespace

bool TMemoryBytes::Read(std::uint64_t at, std::span<std::uint8_t> into) {
    if (at > FBytes.size() || into.size() > FBytes.size() - at)
        return false;
    // An empty file's bytes may have no address at all.
    if (!into.empty())
        std::memcpy(into.data(), FBytes.data() + at, into.size());
    return true;
}

void ReadSignatureStructure(IFileBytes& file, TSignatureStructure& structure) {
    std::vector<std::uint8_t> head(std::size_t(std::min<std::uint64_t>(file.Size(), PeHeadBytes)));
    if (!file.Read(0, head)) {
        structure.Verdict = Verdict(TSignatureStatus::Unsigned, QStringLiteral("the file cannot be read"));
        return;
    }
    structure.Layout = ReadPeLayout(head, file.Size());
    switch (structure.Layout.Kind) {
        case TPeKind::NotAProgram:
        case TPeKind::Unsigned:
            structure.Verdict = Verdict(TSignatureStatus::Unsigned, structure.Layout.Why);
            return;
        case TPeKind::Broken:
            structure.Verdict = Verdict(TSignatureStatus::Broken, structure.Layout.Why);
            return;
        case TPeKind::Signed:
            break;
    }
    const TFileRange& table = structure.Layout.Table;
    if (table.Size > MostCertificateTableBytes) {
        structure.Verdict = Broken("the certificate table is larger than any signature needs");
        return;
    }
    structure.Table.resize(std::size_t(table.Size));
    if (!file.Read(table.At, structure.Table)) {
        structure.Verdict = Broken("the certificate table cannot be read");
        return;
    }
    const std::optional<TDerBytes> entry = FindSignature(structure.Table);
    if (!entry) {
        structure.Verdict = Broken("the certificate table is damaged or carries more than signatures");
        return;
    }
    if (entry->empty()) {
        structure.Verdict =
            Verdict(TSignatureStatus::Unsigned, QStringLiteral("the certificate table holds no signature"));
        return;
    }
    // The entry may end in up to 7 zero bytes of padding after the signature, no more.
    TDerReader entryReader(*entry);
    const std::optional<TDerElement> whole = entryReader.Next();
    const TDerBytes padding = entryReader.Rest();
    if (!whole || padding.size() > 7 ||
        std::ranges::any_of(padding, [](std::uint8_t byte) { return byte != 0; })) {
        structure.Verdict = Broken("the signature is followed by bytes that are no padding");
        return;
    }
    QString why;
    std::optional<TSignedData> signature = ReadSignedData(whole->Whole, &why);
    if (!signature) {
        structure.Verdict = Verdict(TSignatureStatus::Broken, why);
        return;
    }
    structure.Signature = std::move(*signature);
}
