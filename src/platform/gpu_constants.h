// The numbers the GPU device layer speaks: result codes, pixel formats, pools, usages, lock
// flags, render, sampler and texture-stage states, capability bits, vertex declaration types
// and flexible vertex formats. Every value is the one the renderer's stored settings and tables
// already use, so a format or state read from a settings word or a table passes through
// unchanged. Included by gpu.h and by anything that names a format or a state; holds no code.
#pragma once

#include <cstdint>

using GpuResult = int32_t;

constexpr bool GpuSucceeded(GpuResult result) { return result >= 0; }
constexpr bool GpuFailed(GpuResult result) { return result < 0; }

// ---- Results -----------------------------------------------------------------------------

constexpr GpuResult kGpuOk = 0;
constexpr GpuResult kGpuFalse = 1;
constexpr GpuResult kGpuErrOutOfMemory = static_cast<GpuResult>(0x8007000Eu);
constexpr GpuResult kGpuErrInvalidArg = static_cast<GpuResult>(0x80070057u);
constexpr GpuResult kGpuErrFail = static_cast<GpuResult>(0x80004005u);
constexpr GpuResult kGpuErrNotImplemented = static_cast<GpuResult>(0x80004001u);
constexpr GpuResult kGpuErrNoInterface = static_cast<GpuResult>(0x80004002u);
constexpr GpuResult kGpuErrOutOfVideoMemory = static_cast<GpuResult>(0x8876017Cu);
constexpr GpuResult kGpuErrWasStillDrawing = static_cast<GpuResult>(0x8876021Cu);
constexpr GpuResult kGpuErrDriverInternal = static_cast<GpuResult>(0x88760827u);
constexpr GpuResult kGpuErrNotFound = static_cast<GpuResult>(0x88760866u);
constexpr GpuResult kGpuErrMoreData = static_cast<GpuResult>(0x88760867u);
constexpr GpuResult kGpuErrDeviceLost = static_cast<GpuResult>(0x88760868u);
constexpr GpuResult kGpuErrDeviceNotReset = static_cast<GpuResult>(0x88760869u);
constexpr GpuResult kGpuErrNotAvailable = static_cast<GpuResult>(0x8876086Au);
constexpr GpuResult kGpuErrInvalidCall = static_cast<GpuResult>(0x8876086Cu);

// The version number the system object is created with; any other is refused.
constexpr uint32_t kGpuSdkVersion = 32;

// ---- Pixel formats -----------------------------------------------------------------------

constexpr uint32_t GpuFourCc(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) | static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

constexpr uint32_t kGpuFmtUnknown = 0;
constexpr uint32_t kGpuFmtR8G8B8 = 20;
constexpr uint32_t kGpuFmtA8R8G8B8 = 21;
constexpr uint32_t kGpuFmtX8R8G8B8 = 22;
constexpr uint32_t kGpuFmtR5G6B5 = 23;
constexpr uint32_t kGpuFmtX1R5G5B5 = 24;
constexpr uint32_t kGpuFmtA1R5G5B5 = 25;
constexpr uint32_t kGpuFmtA4R4G4B4 = 26;
constexpr uint32_t kGpuFmtR3G3B2 = 27;
constexpr uint32_t kGpuFmtA8 = 28;
constexpr uint32_t kGpuFmtA8R3G3B2 = 29;
constexpr uint32_t kGpuFmtX4R4G4B4 = 30;
constexpr uint32_t kGpuFmtA2B10G10R10 = 31;
constexpr uint32_t kGpuFmtA8B8G8R8 = 32;
constexpr uint32_t kGpuFmtX8B8G8R8 = 33;
constexpr uint32_t kGpuFmtG16R16 = 34;
constexpr uint32_t kGpuFmtA2R10G10B10 = 35;
constexpr uint32_t kGpuFmtA16B16G16R16 = 36;
constexpr uint32_t kGpuFmtA8P8 = 40;
constexpr uint32_t kGpuFmtP8 = 41;
constexpr uint32_t kGpuFmtL8 = 50;
constexpr uint32_t kGpuFmtA8L8 = 51;
constexpr uint32_t kGpuFmtA4L4 = 52;
constexpr uint32_t kGpuFmtV8U8 = 60;
constexpr uint32_t kGpuFmtL6V5U5 = 61;
constexpr uint32_t kGpuFmtX8L8V8U8 = 62;
constexpr uint32_t kGpuFmtQ8W8V8U8 = 63;
constexpr uint32_t kGpuFmtV16U16 = 64;
constexpr uint32_t kGpuFmtA2W10V10U10 = 67;
constexpr uint32_t kGpuFmtD16Lockable = 70;
constexpr uint32_t kGpuFmtD32 = 71;
constexpr uint32_t kGpuFmtD15S1 = 73;
constexpr uint32_t kGpuFmtD24S8 = 75;
constexpr uint32_t kGpuFmtD24X8 = 77;
constexpr uint32_t kGpuFmtD24X4S4 = 79;
constexpr uint32_t kGpuFmtD16 = 80;
constexpr uint32_t kGpuFmtL16 = 81;
constexpr uint32_t kGpuFmtVertexData = 100;
constexpr uint32_t kGpuFmtIndex16 = 101;
constexpr uint32_t kGpuFmtIndex32 = 102;
constexpr uint32_t kGpuFmtR16F = 111;
constexpr uint32_t kGpuFmtG16R16F = 112;
constexpr uint32_t kGpuFmtA16B16G16R16F = 113;
constexpr uint32_t kGpuFmtR32F = 114;
constexpr uint32_t kGpuFmtG32R32F = 115;
constexpr uint32_t kGpuFmtA32B32G32R32F = 116;
constexpr uint32_t kGpuFmtUyvy = GpuFourCc('U', 'Y', 'V', 'Y');
constexpr uint32_t kGpuFmtYuy2 = GpuFourCc('Y', 'U', 'Y', '2');
constexpr uint32_t kGpuFmtDxt1 = GpuFourCc('D', 'X', 'T', '1');
constexpr uint32_t kGpuFmtDxt2 = GpuFourCc('D', 'X', 'T', '2');
constexpr uint32_t kGpuFmtDxt3 = GpuFourCc('D', 'X', 'T', '3');
constexpr uint32_t kGpuFmtDxt4 = GpuFourCc('D', 'X', 'T', '4');
constexpr uint32_t kGpuFmtDxt5 = GpuFourCc('D', 'X', 'T', '5');

// ---- Resource types, pools, usages, locks --------------------------------------------------

constexpr uint32_t kGpuRtypeSurface = 1;
constexpr uint32_t kGpuRtypeVolume = 2;
constexpr uint32_t kGpuRtypeTexture = 3;
constexpr uint32_t kGpuRtypeVolumeTexture = 4;
constexpr uint32_t kGpuRtypeCubeTexture = 5;
constexpr uint32_t kGpuRtypeVertexBuffer = 6;
constexpr uint32_t kGpuRtypeIndexBuffer = 7;

constexpr uint32_t kGpuPoolDefault = 0;
constexpr uint32_t kGpuPoolManaged = 1;
constexpr uint32_t kGpuPoolSystemMem = 2;
constexpr uint32_t kGpuPoolScratch = 3;

constexpr uint32_t kGpuUsageRenderTarget = 0x1;
constexpr uint32_t kGpuUsageDepthStencil = 0x2;
constexpr uint32_t kGpuUsageWriteOnly = 0x8;
constexpr uint32_t kGpuUsageSoftwareProcessing = 0x10;
constexpr uint32_t kGpuUsageDoNotClip = 0x20;
constexpr uint32_t kGpuUsagePoints = 0x40;
constexpr uint32_t kGpuUsageDynamic = 0x200;
constexpr uint32_t kGpuUsageAutoGenMipmap = 0x400;
// Only in format questions: can the format be filtered / blended / read in a vertex program.
constexpr uint32_t kGpuUsageQueryFilter = 0x20000;
constexpr uint32_t kGpuUsageQueryPostPixelShaderBlending = 0x80000;

constexpr uint32_t kGpuLockReadOnly = 0x10;
constexpr uint32_t kGpuLockNoSysLock = 0x800;
constexpr uint32_t kGpuLockNoOverwrite = 0x1000;
constexpr uint32_t kGpuLockDiscard = 0x2000;
constexpr uint32_t kGpuLockDoNotWait = 0x4000;
constexpr uint32_t kGpuLockNoDirtyUpdate = 0x8000;

// ---- Devices, presentation ---------------------------------------------------------------

constexpr uint32_t kGpuDevTypeHal = 1;
constexpr uint32_t kGpuDevTypeRef = 2;
constexpr uint32_t kGpuDevTypeSw = 3;

constexpr uint32_t kGpuCreateFpuPreserve = 0x2;
constexpr uint32_t kGpuCreateMultithreaded = 0x4;
constexpr uint32_t kGpuCreatePureDevice = 0x10;
constexpr uint32_t kGpuCreateSoftwareVertexProcessing = 0x20;
constexpr uint32_t kGpuCreateHardwareVertexProcessing = 0x40;
constexpr uint32_t kGpuCreateMixedVertexProcessing = 0x80;

constexpr uint32_t kGpuMultisampleNone = 0;

constexpr uint32_t kGpuSwapEffectDiscard = 1;
constexpr uint32_t kGpuSwapEffectFlip = 2;
constexpr uint32_t kGpuSwapEffectCopy = 3;

constexpr uint32_t kGpuPresentFlagLockableBackBuffer = 0x1;
constexpr uint32_t kGpuPresentFlagDiscardDepthStencil = 0x2;

constexpr uint32_t kGpuPresentIntervalDefault = 0;
constexpr uint32_t kGpuPresentIntervalOne = 1;
constexpr uint32_t kGpuPresentIntervalImmediate = 0x80000000u;

constexpr uint32_t kGpuBackBufferTypeMono = 0;

constexpr uint32_t kGpuClearTarget = 0x1;
constexpr uint32_t kGpuClearZBuffer = 0x2;
constexpr uint32_t kGpuClearStencil = 0x4;

constexpr uint32_t kGpuCubeFacePositiveX = 0;
constexpr uint32_t kGpuCubeFaceNegativeX = 1;
constexpr uint32_t kGpuCubeFacePositiveY = 2;
constexpr uint32_t kGpuCubeFaceNegativeY = 3;
constexpr uint32_t kGpuCubeFacePositiveZ = 4;
constexpr uint32_t kGpuCubeFaceNegativeZ = 5;

constexpr uint32_t kGpuSetGammaNoCalibration = 0;

// ---- Drawing -----------------------------------------------------------------------------

constexpr uint32_t kGpuPtPointList = 1;
constexpr uint32_t kGpuPtLineList = 2;
constexpr uint32_t kGpuPtLineStrip = 3;
constexpr uint32_t kGpuPtTriangleList = 4;
constexpr uint32_t kGpuPtTriangleStrip = 5;
constexpr uint32_t kGpuPtTriangleFan = 6;

constexpr uint32_t kGpuTexFilterNone = 0;
constexpr uint32_t kGpuTexFilterPoint = 1;
constexpr uint32_t kGpuTexFilterLinear = 2;
constexpr uint32_t kGpuTexFilterAnisotropic = 3;

constexpr uint32_t kGpuTransformView = 2;
constexpr uint32_t kGpuTransformProjection = 3;
constexpr uint32_t kGpuTransformTexture0 = 16;
constexpr uint32_t kGpuTransformWorld = 256;

constexpr uint32_t kGpuLightPoint = 1;
constexpr uint32_t kGpuLightSpot = 2;
constexpr uint32_t kGpuLightDirectional = 3;

// ---- Render states -------------------------------------------------------------------------

constexpr uint32_t kGpuRsZEnable = 7;
constexpr uint32_t kGpuRsFillMode = 8;
constexpr uint32_t kGpuRsShadeMode = 9;
constexpr uint32_t kGpuRsZWriteEnable = 14;
constexpr uint32_t kGpuRsAlphaTestEnable = 15;
constexpr uint32_t kGpuRsLastPixel = 16;
constexpr uint32_t kGpuRsSrcBlend = 19;
constexpr uint32_t kGpuRsDestBlend = 20;
constexpr uint32_t kGpuRsCullMode = 22;
constexpr uint32_t kGpuRsZFunc = 23;
constexpr uint32_t kGpuRsAlphaRef = 24;
constexpr uint32_t kGpuRsAlphaFunc = 25;
constexpr uint32_t kGpuRsDitherEnable = 26;
constexpr uint32_t kGpuRsAlphaBlendEnable = 27;
constexpr uint32_t kGpuRsFogEnable = 28;
constexpr uint32_t kGpuRsSpecularEnable = 29;
constexpr uint32_t kGpuRsFogColor = 34;
constexpr uint32_t kGpuRsFogTableMode = 35;
constexpr uint32_t kGpuRsStencilEnable = 52;
constexpr uint32_t kGpuRsStencilFail = 53;
constexpr uint32_t kGpuRsStencilZFail = 54;
constexpr uint32_t kGpuRsStencilPass = 55;
constexpr uint32_t kGpuRsStencilFunc = 56;
constexpr uint32_t kGpuRsStencilRef = 57;
constexpr uint32_t kGpuRsStencilMask = 58;
constexpr uint32_t kGpuRsStencilWriteMask = 59;
constexpr uint32_t kGpuRsTextureFactor = 60;
constexpr uint32_t kGpuRsWrap0 = 128;
constexpr uint32_t kGpuRsClipping = 136;
constexpr uint32_t kGpuRsLighting = 137;
constexpr uint32_t kGpuRsAmbient = 139;
constexpr uint32_t kGpuRsColorVertex = 141;
constexpr uint32_t kGpuRsNormalizeNormals = 143;
constexpr uint32_t kGpuRsPointSize = 154;
constexpr uint32_t kGpuRsMultisampleAntialias = 161;
constexpr uint32_t kGpuRsMultisampleMask = 162;
constexpr uint32_t kGpuRsColorWriteEnable = 168;
constexpr uint32_t kGpuRsBlendOp = 171;
constexpr uint32_t kGpuRsScissorTestEnable = 174;
constexpr uint32_t kGpuRsSlopeScaleDepthBias = 175;
constexpr uint32_t kGpuRsTwoSidedStencilMode = 185;
constexpr uint32_t kGpuRsBlendFactor = 193;
constexpr uint32_t kGpuRsSrgbWriteEnable = 194;
constexpr uint32_t kGpuRsDepthBias = 195;
constexpr uint32_t kGpuRsSeparateAlphaBlendEnable = 206;
constexpr uint32_t kGpuRsSrcBlendAlpha = 207;
constexpr uint32_t kGpuRsDestBlendAlpha = 208;
constexpr uint32_t kGpuRsBlendOpAlpha = 209;
// Render states are numbered below this.
constexpr uint32_t kGpuRenderStateCount = 210;

constexpr uint32_t kGpuFillPoint = 1;
constexpr uint32_t kGpuFillWireframe = 2;
constexpr uint32_t kGpuFillSolid = 3;

constexpr uint32_t kGpuZbFalse = 0;
constexpr uint32_t kGpuZbTrue = 1;

constexpr uint32_t kGpuBlendZero = 1;
constexpr uint32_t kGpuBlendOne = 2;
constexpr uint32_t kGpuBlendSrcColor = 3;
constexpr uint32_t kGpuBlendInvSrcColor = 4;
constexpr uint32_t kGpuBlendSrcAlpha = 5;
constexpr uint32_t kGpuBlendInvSrcAlpha = 6;
constexpr uint32_t kGpuBlendDestAlpha = 7;
constexpr uint32_t kGpuBlendInvDestAlpha = 8;
constexpr uint32_t kGpuBlendDestColor = 9;
constexpr uint32_t kGpuBlendInvDestColor = 10;
constexpr uint32_t kGpuBlendSrcAlphaSat = 11;
constexpr uint32_t kGpuBlendBothSrcAlpha = 12;
constexpr uint32_t kGpuBlendBothInvSrcAlpha = 13;
constexpr uint32_t kGpuBlendBlendFactor = 14;
constexpr uint32_t kGpuBlendInvBlendFactor = 15;

constexpr uint32_t kGpuBlendOpAdd = 1;
constexpr uint32_t kGpuBlendOpSubtract = 2;
constexpr uint32_t kGpuBlendOpRevSubtract = 3;
constexpr uint32_t kGpuBlendOpMin = 4;
constexpr uint32_t kGpuBlendOpMax = 5;

constexpr uint32_t kGpuCmpNever = 1;
constexpr uint32_t kGpuCmpLess = 2;
constexpr uint32_t kGpuCmpEqual = 3;
constexpr uint32_t kGpuCmpLessEqual = 4;
constexpr uint32_t kGpuCmpGreater = 5;
constexpr uint32_t kGpuCmpNotEqual = 6;
constexpr uint32_t kGpuCmpGreaterEqual = 7;
constexpr uint32_t kGpuCmpAlways = 8;

constexpr uint32_t kGpuCullNone = 1;
constexpr uint32_t kGpuCullCw = 2;
constexpr uint32_t kGpuCullCcw = 3;

constexpr uint32_t kGpuStencilOpKeep = 1;
constexpr uint32_t kGpuStencilOpZero = 2;
constexpr uint32_t kGpuStencilOpReplace = 3;
constexpr uint32_t kGpuStencilOpIncrSat = 4;
constexpr uint32_t kGpuStencilOpDecrSat = 5;
constexpr uint32_t kGpuStencilOpInvert = 6;
constexpr uint32_t kGpuStencilOpIncr = 7;
constexpr uint32_t kGpuStencilOpDecr = 8;

// COLORWRITEENABLE bits.
constexpr uint32_t kGpuColorWriteRed = 0x1;
constexpr uint32_t kGpuColorWriteGreen = 0x2;
constexpr uint32_t kGpuColorWriteBlue = 0x4;
constexpr uint32_t kGpuColorWriteAlpha = 0x8;

// ---- Texture stage and sampler states ------------------------------------------------------

constexpr uint32_t kGpuTssColorOp = 1;
constexpr uint32_t kGpuTssColorArg1 = 2;
constexpr uint32_t kGpuTssColorArg2 = 3;
constexpr uint32_t kGpuTssAlphaOp = 4;
constexpr uint32_t kGpuTssAlphaArg1 = 5;
constexpr uint32_t kGpuTssAlphaArg2 = 6;
constexpr uint32_t kGpuTssTexCoordIndex = 11;
constexpr uint32_t kGpuTssTextureTransformFlags = 24;
constexpr uint32_t kGpuTssColorArg0 = 26;
constexpr uint32_t kGpuTssAlphaArg0 = 27;
constexpr uint32_t kGpuTssResultArg = 28;
constexpr uint32_t kGpuTssConstant = 32;
constexpr uint32_t kGpuTextureStageStateCount = 33;

constexpr uint32_t kGpuTopDisable = 1;
constexpr uint32_t kGpuTopSelectArg1 = 2;
constexpr uint32_t kGpuTopSelectArg2 = 3;
constexpr uint32_t kGpuTopModulate = 4;
constexpr uint32_t kGpuTopModulate2x = 5;
constexpr uint32_t kGpuTopModulate4x = 6;
constexpr uint32_t kGpuTopAdd = 7;

constexpr uint32_t kGpuTaDiffuse = 0;
constexpr uint32_t kGpuTaCurrent = 1;
constexpr uint32_t kGpuTaTexture = 2;
constexpr uint32_t kGpuTaTFactor = 3;
constexpr uint32_t kGpuTaSpecular = 4;
constexpr uint32_t kGpuTaTemp = 5;
constexpr uint32_t kGpuTaSelectMask = 0xF;
constexpr uint32_t kGpuTaComplement = 0x10;
constexpr uint32_t kGpuTaAlphaReplicate = 0x20;

constexpr uint32_t kGpuSampAddressU = 1;
constexpr uint32_t kGpuSampAddressV = 2;
constexpr uint32_t kGpuSampAddressW = 3;
constexpr uint32_t kGpuSampBorderColor = 4;
constexpr uint32_t kGpuSampMagFilter = 5;
constexpr uint32_t kGpuSampMinFilter = 6;
constexpr uint32_t kGpuSampMipFilter = 7;
constexpr uint32_t kGpuSampMipMapLodBias = 8;
constexpr uint32_t kGpuSampMaxMipLevel = 9;
constexpr uint32_t kGpuSampMaxAnisotropy = 10;
constexpr uint32_t kGpuSampSrgbTexture = 11;
constexpr uint32_t kGpuSamplerStateCount = 14;

constexpr uint32_t kGpuTAddressWrap = 1;
constexpr uint32_t kGpuTAddressMirror = 2;
constexpr uint32_t kGpuTAddressClamp = 3;
constexpr uint32_t kGpuTAddressBorder = 4;
constexpr uint32_t kGpuTAddressMirrorOnce = 5;

// Texture stages and samplers a device offers; vertex streams; lights kept.
constexpr uint32_t kGpuMaxTextureStages = 8;
constexpr uint32_t kGpuMaxSamplers = 16;
constexpr uint32_t kGpuMaxStreams = 4;
constexpr uint32_t kGpuMaxLights = 8;
// Program constant registers, each four values.
constexpr uint32_t kGpuVertexConstantsF = 256;
constexpr uint32_t kGpuPixelConstantsF = 224;
constexpr uint32_t kGpuConstantsI = 16;
constexpr uint32_t kGpuConstantsB = 16;

// ---- Vertex layouts ----------------------------------------------------------------------

constexpr uint32_t kGpuFvfXyz = 0x2;
constexpr uint32_t kGpuFvfXyzRhw = 0x4;
constexpr uint32_t kGpuFvfPositionMask = 0x400E;
constexpr uint32_t kGpuFvfNormal = 0x10;
constexpr uint32_t kGpuFvfPSize = 0x20;
constexpr uint32_t kGpuFvfDiffuse = 0x40;
constexpr uint32_t kGpuFvfSpecular = 0x80;
constexpr uint32_t kGpuFvfTexCountMask = 0xF00;
constexpr uint32_t kGpuFvfTexCountShift = 8;
constexpr uint32_t kGpuFvfTex1 = 0x100;
constexpr uint32_t kGpuFvfTex2 = 0x200;

constexpr uint8_t kGpuDeclTypeFloat1 = 0;
constexpr uint8_t kGpuDeclTypeFloat2 = 1;
constexpr uint8_t kGpuDeclTypeFloat3 = 2;
constexpr uint8_t kGpuDeclTypeFloat4 = 3;
constexpr uint8_t kGpuDeclTypeColor = 4;  // 32-bit 0xAARRGGBB, read as (r, g, b, a) in 0..1
constexpr uint8_t kGpuDeclTypeUByte4 = 5;
constexpr uint8_t kGpuDeclTypeShort2 = 6;
constexpr uint8_t kGpuDeclTypeShort4 = 7;
constexpr uint8_t kGpuDeclTypeUByte4N = 8;
constexpr uint8_t kGpuDeclTypeShort2N = 9;
constexpr uint8_t kGpuDeclTypeShort4N = 10;
constexpr uint8_t kGpuDeclTypeUShort2N = 11;
constexpr uint8_t kGpuDeclTypeUShort4N = 12;
constexpr uint8_t kGpuDeclTypeUDec3 = 13;
constexpr uint8_t kGpuDeclTypeDec3N = 14;
constexpr uint8_t kGpuDeclTypeFloat16x2 = 15;
constexpr uint8_t kGpuDeclTypeFloat16x4 = 16;
constexpr uint8_t kGpuDeclTypeUnused = 17;

constexpr uint8_t kGpuDeclMethodDefault = 0;

constexpr uint8_t kGpuDeclUsagePosition = 0;
constexpr uint8_t kGpuDeclUsageBlendWeight = 1;
constexpr uint8_t kGpuDeclUsageBlendIndices = 2;
constexpr uint8_t kGpuDeclUsageNormal = 3;
constexpr uint8_t kGpuDeclUsagePSize = 4;
constexpr uint8_t kGpuDeclUsageTexCoord = 5;
constexpr uint8_t kGpuDeclUsageTangent = 6;
constexpr uint8_t kGpuDeclUsageBinormal = 7;
constexpr uint8_t kGpuDeclUsageTessFactor = 8;
constexpr uint8_t kGpuDeclUsagePositionT = 9;
constexpr uint8_t kGpuDeclUsageColor = 10;
constexpr uint8_t kGpuDeclUsageFog = 11;
constexpr uint8_t kGpuDeclUsageDepth = 12;
constexpr uint8_t kGpuDeclUsageSample = 13;

// The stream number that ends a declaration's element list.
constexpr uint16_t kGpuDeclEndStream = 0xFF;

// Attribute locations of vertex elements in GLSL programs, by usage: a program declares
// `layout(location = N) in ...` with these numbers (the vertex prelude defines them as
// GPU_ATTR_POSITION, GPU_ATTR_NORMAL, ... for the programs' use). Texture coordinates and
// colours add their usage index; other usages with an index above 0 have no location.
constexpr uint32_t kGpuAttrPosition = 0;
constexpr uint32_t kGpuAttrNormal = 1;
constexpr uint32_t kGpuAttrColor0 = 2;   // COLOR 0 and 1
constexpr uint32_t kGpuAttrTexCoord0 = 4;  // TEXCOORD 0 to 7
constexpr uint32_t kGpuAttrTangent = 12;
constexpr uint32_t kGpuAttrBinormal = 13;
constexpr uint32_t kGpuAttrBlendWeight = 14;
constexpr uint32_t kGpuAttrBlendIndices = 15;
constexpr uint32_t kGpuAttrCount = 16;

// Declaration types a device takes (caps DeclTypes).
constexpr uint32_t kGpuDtCapsUByte4 = 0x1;
constexpr uint32_t kGpuDtCapsUByte4N = 0x2;
constexpr uint32_t kGpuDtCapsShort2N = 0x4;
constexpr uint32_t kGpuDtCapsShort4N = 0x8;
constexpr uint32_t kGpuDtCapsUShort2N = 0x10;
constexpr uint32_t kGpuDtCapsUShort4N = 0x20;
constexpr uint32_t kGpuDtCapsUDec3 = 0x40;
constexpr uint32_t kGpuDtCapsDec3N = 0x80;
constexpr uint32_t kGpuDtCapsFloat16x2 = 0x100;
constexpr uint32_t kGpuDtCapsFloat16x4 = 0x200;

// ---- Capability bits ---------------------------------------------------------------------

constexpr uint32_t kGpuCaps2FullscreenGamma = 0x20000;
constexpr uint32_t kGpuCaps2CanCalibrateGamma = 0x100000;
constexpr uint32_t kGpuCaps2DynamicTextures = 0x20000000;
constexpr uint32_t kGpuCaps2CanAutoGenMipmap = 0x40000000;

constexpr uint32_t kGpuDevCapsTextureVideoMemory = 0x200;
constexpr uint32_t kGpuDevCapsDrawPrimTlVertex = 0x400;
constexpr uint32_t kGpuDevCapsSeparateTextureMemories = 0x4000;
constexpr uint32_t kGpuDevCapsHwTransformAndLight = 0x10000;
constexpr uint32_t kGpuDevCapsHwRasterization = 0x80000;
constexpr uint32_t kGpuDevCapsPureDevice = 0x100000;

constexpr uint32_t kGpuDevCaps2StreamOffset = 0x1;
constexpr uint32_t kGpuDevCaps2CanStretchRectFromTextures = 0x10;

constexpr uint32_t kGpuPMiscCapsMaskZ = 0x2;
constexpr uint32_t kGpuPMiscCapsCullNone = 0x10;
constexpr uint32_t kGpuPMiscCapsCullCw = 0x20;
constexpr uint32_t kGpuPMiscCapsCullCcw = 0x40;
constexpr uint32_t kGpuPMiscCapsColorWriteEnable = 0x80;
constexpr uint32_t kGpuPMiscCapsBlendOp = 0x800;
constexpr uint32_t kGpuPMiscCapsSeparateAlphaBlend = 0x20000;

constexpr uint32_t kGpuPRasterCapsZTest = 0x10;
constexpr uint32_t kGpuPRasterCapsMipMapLodBias = 0x2000;
constexpr uint32_t kGpuPRasterCapsAnisotropy = 0x20000;
constexpr uint32_t kGpuPRasterCapsWBuffer = 0x40000;
constexpr uint32_t kGpuPRasterCapsScissorTest = 0x1000000;
constexpr uint32_t kGpuPRasterCapsSlopeScaleDepthBias = 0x2000000;
constexpr uint32_t kGpuPRasterCapsDepthBias = 0x4000000;

constexpr uint32_t kGpuPCmpCapsAll = 0xFF;

constexpr uint32_t kGpuPBlendCapsZero = 0x1;
constexpr uint32_t kGpuPBlendCapsOne = 0x2;
constexpr uint32_t kGpuPBlendCapsSrcColor = 0x4;
constexpr uint32_t kGpuPBlendCapsInvSrcColor = 0x8;
constexpr uint32_t kGpuPBlendCapsSrcAlpha = 0x10;
constexpr uint32_t kGpuPBlendCapsInvSrcAlpha = 0x20;
constexpr uint32_t kGpuPBlendCapsDestAlpha = 0x40;
constexpr uint32_t kGpuPBlendCapsInvDestAlpha = 0x80;
constexpr uint32_t kGpuPBlendCapsDestColor = 0x100;
constexpr uint32_t kGpuPBlendCapsInvDestColor = 0x200;
constexpr uint32_t kGpuPBlendCapsSrcAlphaSat = 0x400;
constexpr uint32_t kGpuPBlendCapsBlendFactor = 0x2000;

constexpr uint32_t kGpuPShadeCapsColorGouraudRgb = 0x8;
constexpr uint32_t kGpuPShadeCapsSpecularGouraudRgb = 0x200;
constexpr uint32_t kGpuPShadeCapsAlphaGouraudBlend = 0x4000;

constexpr uint32_t kGpuPTextureCapsPerspective = 0x1;
constexpr uint32_t kGpuPTextureCapsAlpha = 0x4;
constexpr uint32_t kGpuPTextureCapsProjected = 0x400;
constexpr uint32_t kGpuPTextureCapsCubeMap = 0x800;
constexpr uint32_t kGpuPTextureCapsMipMap = 0x4000;
constexpr uint32_t kGpuPTextureCapsMipCubeMap = 0x10000;

constexpr uint32_t kGpuPtFilterCapsMinfPoint = 0x100;
constexpr uint32_t kGpuPtFilterCapsMinfLinear = 0x200;
constexpr uint32_t kGpuPtFilterCapsMinfAnisotropic = 0x400;
constexpr uint32_t kGpuPtFilterCapsMipfPoint = 0x10000;
constexpr uint32_t kGpuPtFilterCapsMipfLinear = 0x20000;
constexpr uint32_t kGpuPtFilterCapsMagfPoint = 0x1000000;
constexpr uint32_t kGpuPtFilterCapsMagfLinear = 0x2000000;
constexpr uint32_t kGpuPtFilterCapsMagfAnisotropic = 0x4000000;

constexpr uint32_t kGpuPtAddressCapsWrap = 0x1;
constexpr uint32_t kGpuPtAddressCapsMirror = 0x2;
constexpr uint32_t kGpuPtAddressCapsClamp = 0x4;
constexpr uint32_t kGpuPtAddressCapsBorder = 0x8;

constexpr uint32_t kGpuLineCapsTexture = 0x1;
constexpr uint32_t kGpuLineCapsZTest = 0x2;
constexpr uint32_t kGpuLineCapsBlend = 0x4;
constexpr uint32_t kGpuLineCapsAlphaCmp = 0x8;

constexpr uint32_t kGpuTexOpCapsDisable = 0x1;
constexpr uint32_t kGpuTexOpCapsSelectArg1 = 0x2;
constexpr uint32_t kGpuTexOpCapsSelectArg2 = 0x4;
constexpr uint32_t kGpuTexOpCapsModulate = 0x8;
constexpr uint32_t kGpuTexOpCapsModulate2x = 0x10;
constexpr uint32_t kGpuTexOpCapsModulate4x = 0x20;
constexpr uint32_t kGpuTexOpCapsAdd = 0x40;
constexpr uint32_t kGpuTexOpCapsDotProduct3 = 0x800000;

constexpr uint32_t GpuVertexShaderVersion(uint32_t major, uint32_t minor) { return 0xFFFE0000u | major << 8 | minor; }
constexpr uint32_t GpuPixelShaderVersion(uint32_t major, uint32_t minor) { return 0xFFFF0000u | major << 8 | minor; }
