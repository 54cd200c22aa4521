#include "engine/builder/UDFUtils.h"

#include <algorithm>
#include <cstring>

#include "engine/builder/ECMA_167.h"
#include "engine/builder/OSTA_UDF_150.h"
#include "engine/builder/UDFUnicode.h"
#include "engine/builder/UDF_CRC.h"

namespace tessor::builder::udf {

void FinishTag(uint8_t* d, uint16_t identifier, uint32_t location, uint16_t crcLength,
               uint16_t usedLength) {
    using T = TDescriptorTag;
    Put<T::TagIdentifier>(d, identifier);
    Put<T::DescriptorVersion>(d, 2);  // NSR02
    Put<T::Reserved>(d, 0);
    Put<T::TagSerialNumber>(d, 1);
    const uint16_t crc = UdfCrcZeros(UdfCrc(d + T::Size, usedLength), crcLength - usedLength);
    Put<T::DescriptorCrc>(d, crc);
    Put<T::DescriptorCrcLength>(d, crcLength);
    Put<T::TagLocation>(d, location);
    // 3/7.2.3: the sum modulo 256 of bytes 0-3 and 5-15 of the tag.
    uint8_t sum = 0;
    for (uint32_t i = 0; i < T::Size; ++i)
        if (i != T::TagChecksum::Offset)
            sum = static_cast<uint8_t>(sum + d[i]);
    Put<T::TagChecksum>(d, sum);
}

void PutEntityId(uint8_t* p, std::string_view identifier, const uint8_t (&suffix)[8]) {
    std::memset(p, 0, TEntityId::Size);
    Put<TEntityId::Flags>(p, 0);
    std::memcpy(At<TEntityId::Identifier>(p), identifier.data(),
                std::min<size_t>(identifier.size(), TEntityId::Identifier::Length));
    std::memcpy(At<TEntityId::IdentifierSuffix>(p), suffix, sizeof suffix);
}

void PutImplementationId(uint8_t* p) {
    uint8_t suffix[8] = {};
    Put<TImplementationIdSuffix::OsClass>(suffix, kOsClass);
    PutEntityId(p, kImplementationIdentifier, suffix);
}

void PutDomainId(uint8_t* p, uint8_t domainFlags) {
    uint8_t suffix[8] = {};
    Put<TDomainIdSuffix::UdfRevision>(suffix, kUdfRevision);
    Put<TDomainIdSuffix::DomainFlags>(suffix, domainFlags);
    PutEntityId(p, kDomainIdentifier, suffix);
}

void PutUdfId(uint8_t* p, std::string_view identifier) {
    uint8_t suffix[8] = {};
    Put<TUdfIdSuffix::UdfRevision>(suffix, kUdfRevision);
    Put<TUdfIdSuffix::OsClass>(suffix, kOsClass);
    PutEntityId(p, identifier, suffix);
}

void PutCs0Charspec(uint8_t* p) {
    std::memset(p, 0, TCharspec::Size);
    Put<TCharspec::CharacterSetType>(p, 0);
    std::memcpy(At<TCharspec::CharacterSetInfo>(p), kOstaCompressedUnicode,
                sizeof kOstaCompressedUnicode - 1);
}

void PutExtentAd(uint8_t* p, uint32_t length, uint32_t location) {
    Put<TExtentAd::ExtentLength>(p, length);
    Put<TExtentAd::ExtentLocation>(p, location);
}

void PutShortAd(uint8_t* p, uint32_t length, uint32_t position) {
    Put<TShortAd::ExtentLength>(p, length);
    Put<TShortAd::ExtentPosition>(p, position);
}

void PutLongAd(uint8_t* p, uint32_t length, uint32_t block, uint16_t partition) {
    std::memset(p, 0, TLongAd::Size);
    Put<TLongAd::ExtentLength>(p, length);
    uint8_t* where = At<TLongAd::ExtentLocation>(p);
    Put<TLbAddr::LogicalBlockNumber>(where, block);
    Put<TLbAddr::PartitionReferenceNumber>(where, partition);
}

uint32_t FidLength(size_t units) {
    const size_t raw = TFileIdentifierDescriptor::FixedSize + Cs0Length(units);
    return static_cast<uint32_t>((raw + 3) / 4 * 4);
}

uint64_t ShortAdCount(uint64_t bytes) {
    return bytes == 0 ? 1 : (bytes + kMaxAdBytes - 1) / kMaxAdBytes;
}

TAdBlockPlan PlanAdBlock(uint64_t bytes, uint64_t block) {
    return PlanAdBlockOf(ShortAdCount(bytes), block);
}

TAdBlockPlan PlanAdBlockOf(uint64_t total, uint64_t block) {
    TAdBlockPlan plan;
    if (block == 0) {
        if (total <= kFileEntryAdSlots) {
            plan.Count = static_cast<uint32_t>(total);
        } else {
            plan.Count = kFileEntryAdSlots - 1;
            plan.Chained = true;
        }
        return plan;
    }
    plan.First = (kFileEntryAdSlots - 1) + (block - 1) * (kAllocationExtentAdSlots - 1);
    const uint64_t left = total > plan.First ? total - plan.First : 0;
    if (left <= kAllocationExtentAdSlots) {
        plan.Count = static_cast<uint32_t>(left);
    } else {
        plan.Count = kAllocationExtentAdSlots - 1;
        plan.Chained = true;
    }
    return plan;
}

uint64_t AllocationExtentBlocks(uint64_t bytes) {
    return AllocationExtentBlocksOf(ShortAdCount(bytes));
}

uint64_t AllocationExtentBlocksOf(uint64_t total) {
    if (total <= kFileEntryAdSlots)
        return 0;
    const uint64_t beyond = total - (kFileEntryAdSlots - 1);
    if (beyond <= kAllocationExtentAdSlots)
        return 1;
    return 1 + (beyond - kAllocationExtentAdSlots + kAllocationExtentAdSlots - 2) /
                   (kAllocationExtentAdSlots - 1);
}

}  // namespace tessor::builder::udf
